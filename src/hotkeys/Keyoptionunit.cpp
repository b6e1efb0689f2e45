#include "hotkeys/Keyoptionunit.h"

#include "common/Icons.h"
#include "common/Projectdir.h"
#include "hotkeys/HotKeyFile.h"
#include "hotkeys/KeyNames.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace sonalto {

namespace {

const char *const EntryProperty = "hotKeyEntry";

} // namespace

TKeyOptionForm::TKeyOptionForm(QWidget *parent)
    : QDialog(parent), m_path(hotkeys::hotKeyFilePath(ProjectDirs::instance().AppDir()))
{
    setWindowTitle(QStringLiteral("键盘选项"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto *layout = new QVBoxLayout(this);
    auto group = [this, layout](const QString &caption, const QString &icon, int entry,
                                QGroupBox *&box, QLabel *&image, QLineEdit *&edit,
                                QToolButton *&deleteButton, QToolButton *&defaultButton) {
        box = new QGroupBox(caption, this);
        auto *row = new QHBoxLayout(box);
        image = new QLabel(box);
        image->setFixedSize(32, 32);
        image->setPixmap(appIcon(icon).pixmap(32, 32));
        edit = new QLineEdit(box);
        edit->setReadOnly(true);
        edit->setProperty(EntryProperty, entry);
        edit->setAccessibleName(caption);
        edit->installEventFilter(this);
        deleteButton = new QToolButton(box);
        deleteButton->setText(QStringLiteral("删除"));
        deleteButton->setIcon(appIcon(QStringLiteral("delete")));
        deleteButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        deleteButton->setFocusPolicy(Qt::NoFocus);
        defaultButton = new QToolButton(box);
        defaultButton->setText(QStringLiteral("默认"));
        defaultButton->setFocusPolicy(Qt::NoFocus);
        row->addWidget(image);
        row->addWidget(edit, 1);
        row->addWidget(deleteButton);
        row->addWidget(defaultButton);
        layout->addWidget(box);
        connect(deleteButton, &QToolButton::clicked, this, [this, entry] { deleteClick(entry); });
        connect(defaultButton, &QToolButton::clicked, this, [this, entry] { defaultClick(entry); });
    };
    group(QStringLiteral("录制键"), QStringLiteral("record"), hotkeys::RecordKey, GroupBox1, Image1,
          Edit1, SpeedButton18, SpeedButton19);
    group(QStringLiteral("暂停/恢复键"), QStringLiteral("pause"), hotkeys::PauseKey, GroupBox2,
          Image2, Edit3, SpeedButton3, SpeedButton4);
    group(QStringLiteral("停止键"), QStringLiteral("stop"), hotkeys::StopKey, GroupBox3, Image3,
          Edit2, SpeedButton1, SpeedButton2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button2 = new QPushButton(QStringLiteral("取消"), this);
    // Enter is a key the user may want to capture, never a dialog shortcut.
    for (QPushButton *button : {Button1, Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TKeyOptionForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TKeyOptionForm::Button2Click);

    setMinimumWidth(360);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A value that is not a number is reported by the main window, which reads
    // the same file when it installs the hook.
    loadFromFile();
}

QString TKeyOptionForm::filePath() const
{
    return m_path;
}

QLineEdit *TKeyOptionForm::editForEntry(int entry) const
{
    switch (entry) {
    case hotkeys::RecordKey:
        return Edit1;
    case hotkeys::StopKey:
        return Edit2;
    case hotkeys::PauseKey:
        return Edit3;
    default:
        return nullptr;
    }
}

bool TKeyOptionForm::loadFromFile(QString *error)
{
    const bool ok = hotkeys::loadHotKeys(m_path, m_list, error);
    for (int entry = 0; entry < 3; ++entry) {
        QLineEdit *edit = editForEntry(entry);
        edit->setText(entry < m_list.count ? hotkeys::displayText(m_list.keys[size_t(entry)],
                                                                  m_list.modifiers[size_t(entry)])
                                           : QString());
    }
    return ok;
}

void TKeyOptionForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Edit1->setFocus();
}

bool TKeyOptionForm::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (!edit || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    // Escape closes the dialog before a box sees it, so it is never captured.
    if (key->key() == Qt::Key_Escape) {
        if (event->type() == QEvent::KeyPress)
            reject();
        return true;
    }
    // Tab keeps moving between the boxes.
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    if (event->type() == QEvent::KeyPress)
        EditKeyDown(edit, key->key(), key->modifiers(), key->modifiers() & Qt::KeypadModifier);
    else if (!key->isAutoRepeat())
        EditKeyUp(edit);
    return true;
}

void TKeyOptionForm::EditKeyDown(QLineEdit *edit, int qtKey, Qt::KeyboardModifiers modifiers,
                                 bool keypad)
{
    const int entry = edit->property(EntryProperty).toInt();
    // The modifier key being pressed counts as held, whatever the platform
    // reports in the event.
    const bool ctrl = (modifiers & Qt::ControlModifier) || qtKey == Qt::Key_Control;
    const bool alt = (modifiers & Qt::AltModifier) || qtKey == Qt::Key_Alt;
    const bool shift = (modifiers & Qt::ShiftModifier) || qtKey == Qt::Key_Shift;
    uint8_t bits = 0;
    QString text;
    if (ctrl) {
        text += QStringLiteral("Ctrl + ");
        bits |= hotkeys::ModCtrl;
    }
    if (alt) {
        text += QStringLiteral("Alt + ");
        bits |= hotkeys::ModAlt;
    }
    if (shift) {
        text += QStringLiteral("Shift + ");
        bits |= hotkeys::ModShift;
    }
    m_list.modifiers[size_t(entry)] = bits;
    const uint8_t vk = hotkeys::virtualKeyForQtKey(qtKey, keypad);
    if (vk == 0x10 || vk == 0x11 || vk == 0x12) {
        edit->setText(text);
        return;
    }
    edit->setText(text + hotkeys::keyName(vk));
    m_list.keys[size_t(entry)] = vk;
}

void TKeyOptionForm::EditKeyUp(QLineEdit *edit)
{
    // Only modifiers were pressed: the box shows nothing rather than a half
    // combination. The entry keeps the new modifier bits with its old key.
    if (edit->text().endsWith(QLatin1Char(' ')))
        edit->clear();
}

void TKeyOptionForm::deleteClick(int entry)
{
    m_list.clearEntry(entry);
    editForEntry(entry)->clear();
}

void TKeyOptionForm::defaultClick(int entry)
{
    m_list.setDefault(entry);
    editForEntry(entry)->setText(
        hotkeys::displayText(m_list.keys[size_t(entry)], m_list.modifiers[size_t(entry)]));
}

void TKeyOptionForm::Button1Click()
{
    const QString use = QStringLiteral("\n\nPlease use different key");
    if (Edit1->text() == Edit3->text()) {
        showMessage(QStringLiteral("Record Key = Pause/Resume Key!") + use);
        return;
    }
    if (Edit1->text() == Edit2->text()) {
        showMessage(QStringLiteral("Record Key = Stop Key!") + use);
        return;
    }
    if (Edit2->text() == Edit3->text()) {
        showMessage(QStringLiteral("Pause/Resume Key = Stop Key!") + use);
        return;
    }
    if (!hotkeys::saveHotKeys(m_path, m_list)) {
        showMessage(QStringLiteral("Couldn't write ") + m_path);
        return;
    }
    accept();
}

void TKeyOptionForm::Button2Click()
{
    reject();
}

void TKeyOptionForm::reject()
{
    // Cancel, Escape and the close box all drop the unsaved edits.
    loadFromFile();
    QDialog::reject();
}

void TKeyOptionForm::showMessage(const QString &text)
{
    ShownMessages << text;
    if (showMessages)
        QMessageBox(QMessageBox::NoIcon, QStringLiteral("Sonalto"), text, QMessageBox::Ok, this)
            .exec();
}

} // namespace sonalto
