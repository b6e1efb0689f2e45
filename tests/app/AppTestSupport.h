#pragma once

#include "app/Unit1.h"
#include "audio/VirtualBackend.h"
#include "common/TestSignals.h"

#include <QList>
#include <QPair>
#include <QTemporaryDir>

#include <memory>

namespace sonalto::test {

// Private application and output folders for one test.
class TempFolders
{
public:
    TempFolders();
    QString appDir() const { return m_dir.path() + QStringLiteral("/app/"); }
    QString audioDir() const { return m_dir.path() + QStringLiteral("/audio/"); }
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Points HOME and the XDG folders into a temporary folder for one test, as on a
// first start of the program.
class PrivateHome
{
public:
    PrivateHome();
    ~PrivateHome();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QList<QPair<const char *, QByteArray>> m_saved;
};

// A backend shaped like a small machine: one sound card with a microphone, a
// line-in and two outputs (so two output-mix inputs), and the cardless endpoints.
std::unique_ptr<audio::VirtualBackend> makeTestBackend();

// A main window on the given backend (null: no sound server), messages recorded
// instead of shown; returned once its input session has settled.
std::unique_ptr<TForm1> makeForm(std::unique_ptr<audio::AudioBackend> backend);

// Runs the event loop until all the window asked of its input session has been carried
// out (devices listed, input switched, level read, monitor opened).
bool waitForInput(TForm1 &form, int timeoutMs = 8000);

// Picks the input of that name as the user does, and waits until it is in use.
void selectInput(TForm1 &form, const QString &name);
// Picks the first input whose name contains one of the words, looking through every
// device, and waits until it is in use. False when none matches.
bool selectInputWith(TForm1 &form, const QStringList &words);

// Waits until a take that is starting records, or its start has failed.
bool waitUntilStarted(TForm1 &form);
// Clicks 录制 and waits until the take records, or its start has failed.
void pressRecord(TForm1 &form);

// Runs the event loop until the recording session is idle again (a stopped take is
// finished off the GUI thread). False when it is not within the time.
bool waitUntilIdle(TForm1 &form, int timeoutMs = 20000);

} // namespace sonalto::test
