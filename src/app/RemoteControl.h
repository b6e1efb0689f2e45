#pragma once

#include "app/CommandLine.h"
#include "recording/RecordingSession.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

namespace sonalto {

class TForm1;

// Carries out the actions of command lines (sonalto --record, --stop...) on the
// main window, through the same handlers as its toolbar, and tells each asker
// the outcome once it is known: a recording that runs, a take whose file is
// finished, or why not. Nothing here waits: each action ends with a change of
// the recording session's state, or with its time running out.
class RemoteControl : public QObject
{
    Q_OBJECT
public:
    using Answer = std::function<void(bool done, const QString &reason)>;

    // How long a record waits for the sound server and the take to start.
    static constexpr int StartWaitMs = 15000;

    explicit RemoteControl(TForm1 &form, QObject *parent = nullptr);

    void perform(CommandLine::Action action, Answer answer);

signals:
    // A quit was asked: the take, if one ran, is finished and the asker told.
    void quitRequested();

private:
    using State = recording::RecordingSession::State;

    void record(Answer answer);
    void stop(Answer answer);
    void pause(Answer answer);
    void quit(Answer answer);
    // Starts the take once the window can record.
    void startWhenReady();
    void stateChanged(State now, State before);
    void startEnded(bool done, const QString &reason);
    void takeEnded(bool startFailed);

    TForm1 &m_form;
    QList<Answer> m_startWaiters; // records waiting for their take to start
    QList<Answer> m_endWaiters;   // stops waiting for the take's file
    bool m_quitAfterEnd = false;
    bool m_clicked = false; // the record of the waiters has been pressed
    QTimer m_readyCheck;
    QTimer m_startDeadline;
};

} // namespace sonalto
