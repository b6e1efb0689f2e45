// The MP3 settings and general options dialogs.
#include "common/NoIconTheme.h"
#include "common/Projectdir.h"
#include "common/TestSupport.h"
#include "options/Audiooptionunit.h"
#include "options/Generaloptionunit.h"
#include "options/Mp3unit.h"
#include "settings/IniFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sonalto;

namespace {
struct Folder
{
    QTemporaryDir dir;
    QString config() const { return dir.path() + "/Config.ini"; }
};

// Answers the modal dialogs an action opens, as they come: the folder chooser picks `folder`,
// a message box is read and closed. Polled, so that no answer runs inside another's loop.
class ModalAnswers
{
public:
    explicit ModalAnswers(const QString &folder)
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this, folder] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *chooser = qobject_cast<QFileDialog *>(modal)) {
                // Typed into the dialog's name field, as a user may: a folder made after
                // the dialog read its parent cannot be selected in its view.
                if (auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    name->setText(folder);
                QMetaObject::invokeMethod(chooser, "accept"); // QFileDialog's own accept()
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                messages << box->text();
                box->accept();
            }
        });
        m_poll.start(10);
    }
    QStringList messages;

private:
    QTimer m_poll;
};

template <typename T> T *byName(QWidget *parent, const QString &name)
{
    for (T *child : parent->findChildren<T *>()) {
        if (child->accessibleName() == name)
            return child;
    }
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}
} // namespace

TEST(Mp3Form, FirstShowingWithoutSettingsMeansVbr32To32Quality9)
{
    Folder f;
    TMp3Form form(f.config());
    form.FormShow();
    EXPECT_TRUE(form.RadioButton2->isChecked());
    EXPECT_EQ(form.ComboBox1->currentText(), "32");
    EXPECT_EQ(form.ComboBox2->currentText(), "32");
    EXPECT_EQ(form.ComboBox3->currentText(), "32");
    EXPECT_EQ(form.ComboBox4->currentText(), "9 (最低)");
    EXPECT_FALSE(form.ComboBox1->isEnabled());
    EXPECT_TRUE(form.ComboBox4->isEnabled());
}

TEST(Mp3Form, DefaultsThenOkAreStoredAndCancelKeepsTheStoredValues)
{
    Folder f;
    TMp3Form form(f.config());
    form.FormShow();
    form.Button3->click();
    EXPECT_TRUE(form.ComboBox1->isEnabled());
    EXPECT_FALSE(form.ComboBox2->isEnabled());
    form.Button1->click();
    const settings::IniFile ini(f.config());
    EXPECT_EQ(ini.readInt("MP3", "Cbr", -1), 1);
    EXPECT_EQ(ini.readInt("MP3", "CbrBit", -1), 8);
    EXPECT_EQ(ini.readInt("MP3", "VbrMiniBit", -1), 0);
    EXPECT_EQ(ini.readInt("MP3", "VbrMaxiBit", -1), 8);
    EXPECT_EQ(ini.readInt("MP3", "VbrQuality", -1), 5);

    // VBR 320..32 is stored as chosen; "取消" then reopening shows what is stored.
    form.FormShow();
    form.RadioButton2->setChecked(true);
    form.ComboBox2->setCurrentIndex(13);
    form.ComboBox3->setCurrentIndex(0);
    form.Button1->click();
    EXPECT_EQ(ini.readInt("MP3", "Cbr", -1), 0);
    EXPECT_EQ(ini.readInt("MP3", "VbrMiniBit", -1), 13);
    EXPECT_EQ(ini.readInt("MP3", "VbrMaxiBit", -1), 0);
    form.FormShow();
    form.Button3->click();
    form.Button2->click();
    form.FormShow();
    EXPECT_TRUE(form.RadioButton2->isChecked());
    EXPECT_EQ(form.ComboBox2->currentText(), "320");
}

TEST(GeneralOptionForm, BaseNameLosesForbiddenCharacters)
{
    Folder f;
    settings::IniFile(f.config()).writeString("Other", "OutputName", "a/b:c");
    TGeneralOptionForm form(f.config());
    EXPECT_EQ(form.baseName(), "a/b:c") << "the stored text is the base name until 关闭";
    EXPECT_EQ(form.Edit1->text(), "abc");
    form.Edit1->clear();
    QTest::keyClicks(form.Edit1, "x/y:z");
    EXPECT_EQ(form.Edit1->text(), "xyz");
    EXPECT_EQ(form.Edit1->cursorPosition(), 3);
    form.Button1->click();
    EXPECT_EQ(form.baseName(), "xyz");
    EXPECT_EQ(settings::IniFile(f.config()).readString("Other", "OutputName", ""), "xyz");
}

TEST(GeneralOptionForm, MissingSectionAndMinimiseToTray)
{
    Folder f;
    TGeneralOptionForm form(f.config());
    EXPECT_EQ(form.baseName(), "0");
    EXPECT_FALSE(form.minitoTray());
    form.CheckBox2->setChecked(true);
    form.Button1->click();
    EXPECT_TRUE(form.minitoTray());
    EXPECT_EQ(settings::IniFile(f.config()).readString("Other", "MinitoTray", ""), "1");
}

TEST(GeneralOptionForm, StartAtLogOnWritesAndRemovesTheAutostartEntry)
{
    Folder f;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", (f.dir.path() + "/config").toUtf8());
    TGeneralOptionForm form(f.config());
    EXPECT_FALSE(form.CheckBox1->isChecked());
    form.CheckBox1->setChecked(true);
    form.Button1->click();
    QFile entry(TGeneralOptionForm::autostartPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("Comment=Easy-to-Use Sonalto"));
    entry.close();
    form.CheckBox1->setChecked(false);
    form.Button1->click();
    EXPECT_FALSE(entry.exists());
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST(GeneralOptionForm, DefaultFolderChangesAtOnceButIsWrittenOnClose)
{
    Folder f;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", f.dir.path().toUtf8());
    ProjectDirs::instance().SetAudioDir(f.dir.path() + "/elsewhere");
    TGeneralOptionForm form(f.config());
    int changes = 0;
    QObject::connect(&form, &TGeneralOptionForm::audioDirChanged, [&] { ++changes; });
    form.SpeedButton2->click();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ProjectDirs::instance().AudioDir(), f.dir.path() + "/Documents/Sonalto/");
    EXPECT_EQ(settings::IniFile(f.config()).readString("Other", "AudioDir", "none"), "none");
    form.Button1->click();
    EXPECT_EQ(settings::IniFile(f.config()).readString("Other", "AudioDir", "none"),
              f.dir.path() + "/Documents/Sonalto/");
    qputenv("HOME", savedHome);
}

TEST(AudioOptionForm, SavesToAudioAndLoadsListsFromGeneral)
{
    Folder f;
    settings::IniFile ini(f.config());
    ini.writeString("General", "Rate", "3");
    ini.writeString("Audio", "Format", "1");
    TAudioOptionForm form(f.config());
    form.load();
    EXPECT_EQ(form.ComboBox1->currentText(), "22.050K/HZ");
    EXPECT_TRUE(form.RadioButton2->isChecked());
    form.RadioButton1->setChecked(true);
    form.ComboBox3->setCurrentIndex(1);
    form.Button1->click();
    EXPECT_EQ(ini.readString("Audio", "Format", ""), "0");
    EXPECT_EQ(ini.readInt("Audio", "Rate", -1), 3);
    EXPECT_EQ(ini.readInt("Audio", "Track", -1), 1);
    EXPECT_EQ(ini.readInt("General", "Track", -1), -1) << "the lists are written to Audio only";
}

TEST(AudioOptionForm, VolumeButtonHasAPictureWithoutAnIconTheme)
{
    test::NoIconTheme noTheme;
    Folder f;
    TAudioOptionForm form(f.config());
    EXPECT_FALSE(form.SpeedButton3->icon().pixmap(24, 24).isNull());
}

// The output folder is kept in the settings as one line: a folder the settings could not keep is
// refused and the old one stays; one the file fails to take is used, and the user told so.
TEST(GeneralOptionForm, ChosenFolderIsUsedOnlyWhereTheSettingsCanKeepIt)
{
    struct Case
    {
        const char *name;
        QString folder;
        bool hugeSettingsFile;
        bool used, stored;
        QString message;
    };
    const QList<Case> cases = {
        {"plain", QStringLiteral("Aufnahmen für Oma 音频"), false, true, true, {}},
        {"line feed", QStringLiteral("Auf\nnahmen"), false, false, false, QStringLiteral("换行符")},
        {"carriage return", QStringLiteral("Auf\rnahmen"), false, false, false,
         QStringLiteral("换行符")},
        {"settings not writable", QStringLiteral("Aufnahmen"), true, true, false,
         QStringLiteral("设置无法保存: ")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Folder f;
        const QString before = f.dir.path() + QStringLiteral("/before/");
        const QString chosen = f.dir.path() + QLatin1Char('/') + c.folder;
        ASSERT_TRUE(QDir().mkpath(chosen));
        QByteArray settings = "[Other]\nAudioDir=" + before.toUtf8() + '\n';
        if (c.hugeSettingsFile)
            settings += QByteArray(settings::IniFile::MaxFileSize, ';');
        QFile file(f.config());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size());
        file.close();
        ProjectDirs::instance().SetAudioDir(before);

        TGeneralOptionForm form(f.config());
        ModalAnswers answers(chosen);
        byName<QToolButton>(&form, QStringLiteral("选择输出文件夹"))->click();

        const QString now = c.used ? chosen + QLatin1Char('/') : before;
        EXPECT_EQ(ProjectDirs::instance().AudioDir(), now);
        EXPECT_EQ(byName<QLineEdit>(&form, QStringLiteral("输出文件夹"))->text(),
                  c.used ? chosen : before);
        EXPECT_EQ(settings::IniFile(f.config()).readString("Other", "AudioDir", "0"),
                  c.stored ? now : before);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(answers.messages.isEmpty()) << answers.messages.join('|').toStdString();
        } else {
            ASSERT_EQ(answers.messages.size(), 1);
            EXPECT_TRUE(answers.messages[0].contains(c.message))
                << answers.messages[0].toStdString();
        }
    }
}
