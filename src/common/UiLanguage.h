#pragma once

#include <QString>
#include <QTranslator>

#include <memory>

namespace sonalto {

// The language of the windows and messages. The program's own texts are Chinese;
// English comes from the translation built into the program.
enum class UiLanguage { Chinese, English };

// The language a desktop with these variables asks for. LANGUAGE (a list, the first
// entry counts) wins where set; otherwise the locale of messages: LC_ALL, then
// LC_MESSAGES, then LANG. Chinese locales and C/POSIX (no language asked for) keep
// the program's Chinese; every other language gets English.
UiLanguage uiLanguageFor(const QString &language, const QString &lcAll, const QString &lcMessages,
                         const QString &lang);

// The language this process's environment asks for.
UiLanguage desktopUiLanguage();

// The translator that turns the program's texts into `language`, or none where the
// texts stay as they are (Chinese). The caller installs it and keeps it.
std::unique_ptr<QTranslator> translatorFor(UiLanguage language);

} // namespace sonalto
