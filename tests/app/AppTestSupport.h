#pragma once

#include "app/Unit1.h"
#include "audio/VirtualBackend.h"
#include "common/TestSignals.h"

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

// A backend shaped like a small machine: one sound card with a microphone, a
// line-in and two outputs (so two output-mix inputs), and the cardless endpoints.
std::unique_ptr<audio::VirtualBackend> makeTestBackend();

// A main window on the given backend (null: no sound server), messages recorded
// instead of shown.
std::unique_ptr<TForm1> makeForm(std::unique_ptr<audio::AudioBackend> backend);

} // namespace sonalto::test
