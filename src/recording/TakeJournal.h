#pragma once

#include "recording/RecordingSession.h"

#include <QString>

#include <optional>

namespace sonalto::recording {

// Where the end of a take the window could no longer show waits for the next start:
// a take finished while the program was ending (log-out, a signal, the exit with a
// take running). One file in the application folder, read and removed at the next
// start.
class TakeJournal
{
public:
    explicit TakeJournal(QString appDir);

    // False with the reason when it cannot be written.
    bool write(const TakeEnd &end, QString *error = nullptr) const;
    // The end written by the last run, if any; the journal is removed once read.
    std::optional<TakeEnd> take() const;

    QString path() const { return m_path; }

private:
    QString m_path;
};

} // namespace sonalto::recording
