#include "options/Generaloptionunit.h"

#include "common/InstallPaths.h"
#include "common/Projectdir.h"
#include "recording/FileNaming.h"
#include "settings/ConfigFile.h"
#include "settings/IniFile.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace sonalto {

namespace {
const QString Other = QStringLiteral("Other");
}

TGeneralOptionForm::TGeneralOptionForm(const QString &configPath, QWidget *parent)
    : QDialog(parent), m_configPath(configPath)
{
    setWindowTitle(tr("常规选项"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto *pages = new QTabWidget(this);
    auto *page = new QWidget;
    pages->addTab(page, tr("常规"));

    auto *folderGroup = new QGroupBox(tr("输出文件夹"), page);
    Edit7 = new QLineEdit(folderGroup);
    Edit7->setReadOnly(true);
    Edit7->setAccessibleName(tr("输出文件夹"));
    auto tool = [folderGroup](const QString &text, const QString &name) {
        auto *b = new QToolButton(folderGroup);
        b->setText(text);
        b->setAccessibleName(name);
        b->setToolTip(name);
        return b;
    };
    SpeedButton1 = tool(QStringLiteral("..."), tr("选择输出文件夹"));
    SpeedButton2 = tool(tr("默认"), tr("默认"));
    SpeedButton3 = tool(tr("浏览"), tr("浏览"));
    CheckBox1 = new QCheckBox(tr("当开机时启动 Sonalto"), folderGroup);
    auto *folderLayout = new QGridLayout(folderGroup);
    folderLayout->addWidget(Edit7, 0, 0);
    folderLayout->addWidget(SpeedButton1, 0, 1);
    folderLayout->addWidget(SpeedButton2, 0, 2);
    folderLayout->addWidget(SpeedButton3, 0, 3);
    folderLayout->addWidget(CheckBox1, 1, 0, 1, 4);

    auto *nameGroup = new QGroupBox(tr("输出文件名"), page);
    Edit1 = new QLineEdit(QStringLiteral("音频"), nameGroup);
    Edit1->setAccessibleName(tr("输出文件名"));
    Label3 = new QLabel(tr("+ 自动编号 = 文件名"), nameGroup);
    auto *nameLayout = new QHBoxLayout(nameGroup);
    nameLayout->addWidget(Edit1);
    nameLayout->addWidget(Label3);

    CheckBox2 = new QCheckBox(tr("关闭时最小化到托盘"), page);

    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(folderGroup);
    pageLayout->addWidget(nameGroup);
    pageLayout->addWidget(CheckBox2);
    pageLayout->addStretch();

    Button1 = new QPushButton(tr("关闭"), this);
    Button1->setDefault(true);
    Button2 = new QPushButton(tr("取消"), this);
    Button2->setVisible(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(buttons);
    resize(447, 319);

    connect(Button1, &QPushButton::clicked, this, [this] {
        Button1Click();
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        Button2Click();
        reject();
    });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, &TGeneralOptionForm::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TGeneralOptionForm::SpeedButton3Click);
    connect(Edit1, &QLineEdit::textChanged, this, &TGeneralOptionForm::Edit1Change);

    load();
}

QString TGeneralOptionForm::withoutForbiddenCharacters(const QString &text)
{
    // The same cleaning a base name read from the settings gets before it names a file.
    return recording::cleanBaseName(text);
}

void TGeneralOptionForm::load()
{
    Edit7->setText(ProjectDirs::instance().AudioDir());
    const settings::IniFile ini(m_configPath);
    m_baseName = ini.readString(Other, QStringLiteral("OutputName"), QStringLiteral("0"));
    Edit1->setText(m_baseName);
    m_minitoTray = ini.readInt(Other, QStringLiteral("MinitoTray"), 0) != 0;
    CheckBox2->setChecked(m_minitoTray);
    CheckBox1->setChecked(QFile::exists(autostartPath()));
}

void TGeneralOptionForm::Button1Click()
{
    const bool autostart = QFile::exists(autostartPath());
    if (CheckBox1->isChecked() != autostart)
        setAutostart(CheckBox1->isChecked());
    settings::IniFile ini(m_configPath);
    m_minitoTray = CheckBox2->isChecked();
    ini.writeString(Other, QStringLiteral("MinitoTray"),
                    m_minitoTray ? QStringLiteral("1") : QStringLiteral("0"));
    ini.writeString(Other, QStringLiteral("AudioDir"), ProjectDirs::instance().AudioDir());
    m_baseName = Edit1->text();
    ini.writeString(Other, QStringLiteral("OutputName"), m_baseName);
    emit saved();
}

void TGeneralOptionForm::Button2Click()
{
    load();
}

bool TGeneralOptionForm::SpeedButton1Click()
{
    const QString chosen = QFileDialog::getExistingDirectory(parentWidget() ? parentWidget() : this,
                                                             tr("Please choose directory"),
                                                             ProjectDirs::instance().AudioDir());
    if (chosen.isEmpty())
        return false;
    // A folder the settings cannot keep would silently be forgotten at the next start.
    if (const auto refusal = settings::folderRefusal(chosen)) {
        showWarning(tr("不能使用所选的文件夹：%1。\n\n输出文件夹仍是 %2")
                        .arg(*refusal, ProjectDirs::instance().AudioDir()));
        return false;
    }
    Edit7->setText(chosen);
    ProjectDirs::instance().SetAudioDir(chosen);
    QString error;
    if (!settings::IniFile(m_configPath)
             .writeString(Other, QStringLiteral("AudioDir"), ProjectDirs::instance().AudioDir(),
                          &error))
        showWarning(tr("设置无法保存: %1\n\n这次运行中使用所选的文件夹，"
                       "下次启动时不会记得它。")
                        .arg(error));
    emit audioDirChanged();
    return true;
}

void TGeneralOptionForm::showWarning(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
}

void TGeneralOptionForm::SpeedButton2Click()
{
    ProjectDirs::instance().SetAudioDir(ProjectDirs::defaultAudioDir());
    Edit7->setText(ProjectDirs::instance().AudioDir());
    emit audioDirChanged();
}

void TGeneralOptionForm::SpeedButton3Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(Edit7->text()));
}

void TGeneralOptionForm::Edit1Change()
{
    const QString cleaned = withoutForbiddenCharacters(Edit1->text());
    if (cleaned != Edit1->text()) {
        Edit1->setText(cleaned);
        Edit1->setCursorPosition(int(cleaned.size()));
    }
}

QString TGeneralOptionForm::autostartPath()
{
    return autostartEntryPath();
}

bool TGeneralOptionForm::setAutostart(bool on)
{
    const QString path = autostartPath();
    if (!on)
        return QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Sonalto\n"
                       "Comment=Easy-to-Use Sonalto\n"
                       "Icon=%1\n"
                       "Exec=%2\n"
                       "Terminal=false\n"
                       "StartupWMClass=Sonalto\n")
            .arg(desktopFileId(), autostartExec(QCoreApplication::applicationFilePath()));
    file.write(entry.toUtf8());
    return file.commit();
}

} // namespace sonalto
