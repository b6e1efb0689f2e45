#include "common/UiLanguage.h"

static void initTranslations()
{
    // The resource is linked from a static library: registered by hand, once.
    static const bool registered = [] {
        Q_INIT_RESOURCE(translations);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace sonalto {

namespace {

// No language asked for: unset, empty, C or POSIX (with or without a code set).
bool isPlainLocale(const QString &name)
{
    return name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX") ||
           name.startsWith(QLatin1String("C.")) || name.startsWith(QLatin1String("C@")) ||
           name.startsWith(QLatin1String("POSIX."));
}

} // namespace

UiLanguage uiLanguageFor(const QString &language, const QString &lcAll, const QString &lcMessages,
                         const QString &lang)
{
    QString asked;
    for (const QString &entry : language.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        asked = entry.trimmed();
        if (!asked.isEmpty())
            break;
    }
    if (asked.isEmpty())
        asked = !lcAll.isEmpty() ? lcAll : !lcMessages.isEmpty() ? lcMessages : lang;
    if (isPlainLocale(asked) || asked.startsWith(QLatin1String("zh"), Qt::CaseInsensitive))
        return UiLanguage::Chinese;
    return UiLanguage::English;
}

UiLanguage desktopUiLanguage()
{
    auto variable = [](const char *name) { return qEnvironmentVariable(name); };
    return uiLanguageFor(variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"),
                         variable("LANG"));
}

std::unique_ptr<QTranslator> translatorFor(UiLanguage language)
{
    if (language == UiLanguage::Chinese)
        return nullptr;
    initTranslations();
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/sonalto_en.qm")))
        return nullptr;
    return translator;
}

} // namespace sonalto
