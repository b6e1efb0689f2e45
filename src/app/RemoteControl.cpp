#include "app/RemoteControl.h"

#include "app/Unit1.h"
#include "recording/InputSession.h"

namespace sonalto {

RemoteControl::RemoteControl(TForm1 &form, QObject *parent) : QObject(parent), m_form(form)
{
    connect(m_form.Recording, &recording::RecordingSession::stateChanged, this,
            &RemoteControl::stateChanged);
    // The sound server is looked for in the background: a record that comes
    // before it answers waits for it.
    m_readyCheck.setInterval(50);
    connect(&m_readyCheck, &QTimer::timeout, this, &RemoteControl::startWhenReady);
    m_startDeadline.setSingleShot(true);
    m_startDeadline.setInterval(StartWaitMs);
    connect(&m_startDeadline, &QTimer::timeout, this, [this] {
        // A take still starting then would record without its asker knowing.
        if (m_form.Recording->state() == State::Starting)
            m_form.ToolButton3Click();
        startEnded(false, QStringLiteral("the recording did not start within %1 seconds")
                              .arg(StartWaitMs / 1000));
    });
}

void RemoteControl::perform(CommandLine::Action action, Answer answer)
{
    using Action = CommandLine::Action;
    switch (action) {
    case Action::Record:
        record(std::move(answer));
        break;
    case Action::Pause:
        pause(std::move(answer));
        break;
    case Action::Stop:
        stop(std::move(answer));
        break;
    case Action::Toggle:
        if (m_form.Recording->state() == State::Idle || !m_startWaiters.isEmpty())
            record(std::move(answer));
        else
            stop(std::move(answer));
        break;
    case Action::Show:
        m_form.activateFromSecondInstance();
        answer(true, QString());
        break;
    case Action::Quit:
        quit(std::move(answer));
        break;
    case Action::None:
        answer(false, QStringLiteral("unknown action"));
        break;
    }
}

void RemoteControl::record(Answer answer)
{
    // Records asked while one is starting share its take.
    if (!m_startWaiters.isEmpty()) {
        m_startWaiters.append(std::move(answer));
        return;
    }
    if (m_form.Recording->state() != State::Idle) {
        answer(false, QStringLiteral("a recording is already under way"));
        return;
    }
    m_startWaiters.append(std::move(answer));
    m_clicked = false;
    m_startDeadline.start();
    startWhenReady();
}

void RemoteControl::startWhenReady()
{
    if (m_startWaiters.isEmpty() || m_clicked)
        return;
    const recording::InputSession *input = m_form.Input;
    if (input->server() == recording::InputSession::Server::Unavailable) {
        startEnded(false, QStringLiteral("no sound server: ") + input->unavailableReason());
        return;
    }
    if (!m_form.Recording->engine() || !input->settled()) {
        m_readyCheck.start();
        return;
    }
    m_readyCheck.stop();
    if (m_form.Recording->state() != State::Idle) {
        startEnded(false, QStringLiteral("a recording is already under way"));
        return;
    }
    m_clicked = true;
    const qsizetype said = m_form.ShownMessages.size();
    m_form.ToolButton1Click();
    // Refused at once (the question about a file playing answered no, a start
    // the session could not begin): the window has said why, if anything.
    if (m_form.Recording->state() == State::Idle && !m_startWaiters.isEmpty()) {
        startEnded(false, m_form.ShownMessages.size() > said
                              ? m_form.ShownMessages.constLast()
                              : QStringLiteral("the recording was not started"));
    }
}

void RemoteControl::startEnded(bool done, const QString &reason)
{
    m_readyCheck.stop();
    m_startDeadline.stop();
    const QList<Answer> waiters = std::exchange(m_startWaiters, {});
    for (const Answer &answer : waiters)
        answer(done, reason);
}

void RemoteControl::stop(Answer answer)
{
    const State state = m_form.Recording->state();
    if (!m_startWaiters.isEmpty() && !m_clicked) {
        // A record still waiting for the sound server: it is called off.
        startEnded(false, QStringLiteral("stopped before the recording started"));
        answer(true, QString());
        return;
    }
    if (state == State::Idle) {
        answer(false, QStringLiteral("Sonalto is not recording"));
        return;
    }
    m_endWaiters.append(std::move(answer));
    if (state != State::Finishing)
        m_form.ToolButton3Click();
}

void RemoteControl::pause(Answer answer)
{
    switch (m_form.Recording->state()) {
    case State::Recording:
    case State::Paused:
        m_form.ToolButton2Click();
        answer(true, QString());
        break;
    case State::Starting:
        answer(false, QStringLiteral("the recording is still starting"));
        break;
    case State::Idle:
    case State::Finishing:
        answer(false, QStringLiteral("Sonalto is not recording"));
        break;
    }
}

void RemoteControl::quit(Answer answer)
{
    if (!m_startWaiters.isEmpty())
        startEnded(false, QStringLiteral("Sonalto was asked to quit"));
    if (m_form.Recording->state() == State::Idle) {
        answer(true, QString());
        emit quitRequested();
        return;
    }
    // The take is finished first, so that its file is complete when the asker
    // learns that the program has ended.
    m_quitAfterEnd = true;
    stop(std::move(answer));
}

void RemoteControl::stateChanged(State now, State before)
{
    if (!m_startWaiters.isEmpty() && m_clicked) {
        if (now == State::Recording || now == State::Paused)
            startEnded(true, QString());
        else if (now == State::Idle && before == State::Starting)
            startEnded(false, QStringLiteral("the recording did not start: ") +
                                  m_form.Recording->lastStartFailure());
    }
    if (now == State::Idle)
        takeEnded(before == State::Starting);
}

void RemoteControl::takeEnded(bool startFailed)
{
    if (m_endWaiters.isEmpty())
        return;
    // Both are set before the state went to Idle.
    bool done = false;
    QString reason;
    if (startFailed) {
        reason =
            QStringLiteral("the recording did not start: ") + m_form.Recording->lastStartFailure();
    } else {
        const recording::TakeEnd end = m_form.Recording->lastTakeEnd();
        done = end.saved && end.failure.isEmpty();
        if (!end.failure.isEmpty())
            reason = QStringLiteral("the recording ended with an error") +
                     (end.saved ? QStringLiteral(" (its file is kept): ") : QStringLiteral(": ")) +
                     end.failure;
        else if (!end.saved)
            reason = QStringLiteral("the recording was not saved (nothing was recorded)");
    }
    const QList<Answer> waiters = std::exchange(m_endWaiters, {});
    for (const Answer &answer : waiters)
        answer(done, reason);
    if (std::exchange(m_quitAfterEnd, false))
        emit quitRequested();
}

} // namespace sonalto
