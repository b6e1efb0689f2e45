#include "recording/TakeJournal.h"

#include "settings/IniFile.h"

#include <QFile>
#include <QList>

namespace sonalto::recording {

namespace {
const QString Section = QStringLiteral("LastTake");
}

TakeJournal::TakeJournal(QString appDir) : m_path(appDir + QStringLiteral("LastTake.ini")) {}

bool TakeJournal::write(const TakeEnd &end, QString *error) const
{
    // One line each: a failure's reason may hold line breaks.
    QString failure = end.failure;
    failure.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    QList<std::pair<QString, QByteArray>> values{
        {QStringLiteral("Path"), end.path.toUtf8()},
        {QStringLiteral("Saved"), end.saved ? "1" : "0"},
        {QStringLiteral("Seconds"),
         end.seconds ? QByteArray::number(*end.seconds, 'f', 3) : QByteArray()},
        {QStringLiteral("Failure"), failure.toUtf8()},
    };
    return settings::IniFile(m_path).writeSection(Section, values, error);
}

std::optional<TakeEnd> TakeJournal::take() const
{
    if (!QFile::exists(m_path))
        return std::nullopt;
    const settings::IniFile ini(m_path);
    TakeEnd end;
    end.path = ini.readString(Section, QStringLiteral("Path"), QString());
    end.saved = ini.readInt(Section, QStringLiteral("Saved"), 0) == 1;
    bool ok = false;
    const double seconds =
        ini.readString(Section, QStringLiteral("Seconds"), QString()).toDouble(&ok);
    if (ok)
        end.seconds = seconds;
    end.failure = ini.readString(Section, QStringLiteral("Failure"), QString());
    QFile::remove(m_path);
    if (end.path.isEmpty())
        return std::nullopt;
    return end;
}

} // namespace sonalto::recording
