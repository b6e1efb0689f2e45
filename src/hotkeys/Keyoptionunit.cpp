#include "hotkeys/Keyoptionunit.h"

#include "common/Icons.h"
#include "common/Projectdir.h"
#include "hotkeys/DesktopSession.h"
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

#include <algorithm>

namespace sonalto {

namespace {

const char *const EntryProperty = "hotKeyEntry";
// X keysym of the key that switches to the first text console (XF86Switch_VT_1).
constexpr quint32 XF86SwitchVt1 = 0x1008FE01;

} // namespace

TKeyOptionForm::TKeyOptionForm(QWidget *parent)
    : QDialog(parent), m_path(hotkeys::hotKeyFilePath(ProjectDirs::instance().AppDir()))
{
    setWindowTitle(tr("键盘选项"));
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
        deleteButton->setText(tr("删除"));
        deleteButton->setIcon(appIcon(QStringLiteral("delete")));
        deleteButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        deleteButton->setFocusPolicy(Qt::NoFocus);
        deleteButton->setAccessibleName(caption + tr(" 删除"));
        defaultButton = new QToolButton(box);
        defaultButton->setText(tr("默认"));
        defaultButton->setAccessibleName(caption + tr(" 默认"));
        defaultButton->setFocusPolicy(Qt::NoFocus);
        row->addWidget(image);
        row->addWidget(edit, 1);
        row->addWidget(deleteButton);
        row->addWidget(defaultButton);
        layout->addWidget(box);
        connect(deleteButton, &QToolButton::clicked, this, [this, entry] { deleteClick(entry); });
        connect(defaultButton, &QToolButton::clicked, this, [this, entry] { defaultClick(entry); });
    };
    group(tr("录制键"), QStringLiteral("record"), hotkeys::RecordKey, GroupBox1, Image1, Edit1,
          SpeedButton18, SpeedButton19);
    group(tr("暂停/恢复键"), QStringLiteral("pause"), hotkeys::PauseKey, GroupBox2, Image2, Edit3,
          SpeedButton3, SpeedButton4);
    group(tr("停止键"), QStringLiteral("stop"), hotkeys::StopKey, GroupBox3, Image3, Edit2,
          SpeedButton1, SpeedButton2);

    // Said before the user chooses keys that could not work.
    Label1 = new QLabel(this);
    setDesktopShortcuts(false);
    Label1->setWordWrap(true);
    Label1->setAccessibleName(tr("热键提示"));
    Label1->setVisible(hotkeys::isWaylandSession());
    layout->addWidget(Label1);
    Label2 = new QLabel(this);
    Label2->setWordWrap(true);
    Label2->setAccessibleName(tr("按键说明"));
    Label2->setVisible(false);
    layout->addWidget(Label2);
    Label3 = new QLabel(tr("尚未设置热键：点一个框再按下组合键，或点“默认”使用默认键。"), this);
    Label3->setWordWrap(true);
    Label3->setAccessibleName(tr("未设置热键"));
    Label3->setVisible(false);
    layout->addWidget(Label3);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button1 = new QPushButton(tr("确定"), this);
    Button2 = new QPushButton(tr("取消"), this);
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

    loadFromFile();
}

void TKeyOptionForm::setDesktopShortcuts(bool bound)
{
    const QString notice = tr("当前是 Wayland 会话，全局热键不可用：其它程序的窗口有焦点时，"
                              "这些键不起作用。");
    Label1->setText(notice + (bound ? tr("录制、暂停、停止已登记为桌面快捷键，"
                                         "可在桌面的快捷键设置中更改。")
                                    : tr("可在桌面的快捷键设置中把命令 "
                                         "sonalto --toggle 设为录制/停止的快捷键。")));
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
    QString notice;
    const bool ok = hotkeys::loadHotKeys(m_path, m_list, &notice);
    // The boxes of roles the file does not list are empty, and so are their
    // entries: what a box shows is what 确定 saves.
    for (int entry = m_list.count; entry < hotkeys::HotKeyList::Roles; ++entry)
        m_list.clearEntry(entry);
    for (int entry = 0; entry < hotkeys::HotKeyList::Roles; ++entry)
        showEntry(entry);
    m_modifiersOnlyEntry = -1;
    setNote(notice);
    if (error)
        *error = ok ? QString() : notice;
    return ok;
}

QString TKeyOptionForm::entryText(int entry) const
{
    return m_list.hasKey(entry)
               ? hotkeys::displayText(m_list.keys[size_t(entry)], m_list.modifiers[size_t(entry)])
               : QString();
}

void TKeyOptionForm::showEntry(int entry)
{
    editForEntry(entry)->setText(entryText(entry));
    showUnsetNote();
}

void TKeyOptionForm::showUnsetNote()
{
    bool any = false;
    for (int entry = 0; entry < hotkeys::HotKeyList::Roles; ++entry)
        any = any || m_list.hasKey(entry);
    Label3->setVisible(!any);
}

void TKeyOptionForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Edit1->setFocus();
}

bool TKeyOptionForm::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    // Modifiers held while the focus leaves the box are no capture.
    if (edit && event->type() == QEvent::FocusOut &&
        m_modifiersOnlyEntry == edit->property(EntryProperty).toInt()) {
        m_modifiersOnlyEntry = -1;
        showEntry(edit->property(EntryProperty).toInt());
    }
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
        EditKeyDown(edit, key->key(), key->modifiers(), key->modifiers() & Qt::KeypadModifier,
                    key->nativeVirtualKey());
    else if (!key->isAutoRepeat())
        EditKeyUp(edit);
    return true;
}

void TKeyOptionForm::EditKeyDown(QLineEdit *edit, int qtKey, Qt::KeyboardModifiers modifiers,
                                 bool keypad, quint32 keysym)
{
    const int entry = edit->property(EntryProperty).toInt();
    // The modifier key being pressed counts as held, whatever the platform
    // reports in the event.
    const bool ctrl = (modifiers & Qt::ControlModifier) || qtKey == Qt::Key_Control;
    const bool alt = (modifiers & Qt::AltModifier) || qtKey == Qt::Key_Alt;
    const bool shift = (modifiers & Qt::ShiftModifier) || qtKey == Qt::Key_Shift;
    const uint8_t bits = uint8_t((ctrl ? hotkeys::ModCtrl : 0) | (alt ? hotkeys::ModAlt : 0) |
                                 (shift ? hotkeys::ModShift : 0));
    const QString prefix = hotkeys::modifierPrefix(bits);
    const uint8_t vk = hotkeys::virtualKeyForQtKey(qtKey, keypad);

    // Until a key comes, the box shows the modifiers held; its entry keeps its
    // combination until one is taken.
    if (vk == 0x10 || vk == 0x11 || vk == 0x12) {
        edit->setText(prefix);
        m_modifiersOnlyEntry = entry;
        return;
    }
    m_modifiersOnlyEntry = -1;
    // With Ctrl and Alt held the layout turns F1..F12 into the keys that switch
    // to a text console: they never reach a program as function keys.
    if (keysym >= XF86SwitchVt1 && keysym < XF86SwitchVt1 + 12) {
        refuse(entry, tr("%1F%2 由系统用来切换到文本控制台，不能用作热键")
                          .arg(prefix)
                          .arg(keysym - XF86SwitchVt1 + 1));
        return;
    }
    if (hotkeys::keyName(vk).isEmpty()) {
        refuse(entry, tr("%1这个键不能用作热键").arg(prefix));
        return;
    }
    if (!hotkeys::canStoreKey(vk)) {
        refuse(entry,
               tr("%1 无法存入 HotKey.ini，不能用作热键").arg(prefix + hotkeys::keyName(vk)));
        return;
    }
    m_list.keys[size_t(entry)] = vk;
    m_list.modifiers[size_t(entry)] = bits;
    showEntry(entry);
    setNote(QString());
}

void TKeyOptionForm::EditKeyUp(QLineEdit *edit)
{
    // Modifiers pressed and let go without a key: nothing is taken.
    const int entry = edit->property(EntryProperty).toInt();
    if (m_modifiersOnlyEntry != entry)
        return;
    const QString held = edit->text().chopped(3); // without the last " + "
    refuse(entry, tr("只按了 %1：请按住修饰键再按一个其它的键").arg(held));
}

void TKeyOptionForm::refuse(int entry, const QString &why)
{
    m_modifiersOnlyEntry = -1;
    showEntry(entry);
    setNote(tr("%1。%2保持原来的键。").arg(why, hotkeys::roleName(entry)));
}

void TKeyOptionForm::setNote(const QString &text)
{
    Label2->setText(text);
    Label2->setVisible(!text.isEmpty());
}

void TKeyOptionForm::deleteClick(int entry)
{
    m_list.clearEntry(entry);
    editForEntry(entry)->clear();
    showUnsetNote();
    setNote(QString());
}

void TKeyOptionForm::defaultClick(int entry)
{
    m_list.setDefault(entry);
    showEntry(entry);
    setNote(QString());
}

void TKeyOptionForm::Button1Click()
{
    // The boxes show exactly their entries (a half-typed combination is none).
    for (int entry = 0; entry <= hotkeys::PauseKey; ++entry)
        showEntry(entry);
    // An empty box holds no key, so two of them are never the same key.
    auto same = [](const QLineEdit *a, const QLineEdit *b) {
        return !a->text().isEmpty() && a->text() == b->text();
    };
    const QString use = tr("\n\nPlease use different key");
    if (same(Edit1, Edit3)) {
        showMessage(tr("Record Key = Pause/Resume Key!") + use);
        return;
    }
    if (same(Edit1, Edit2)) {
        showMessage(tr("Record Key = Stop Key!") + use);
        return;
    }
    if (same(Edit2, Edit3)) {
        showMessage(tr("Pause/Resume Key = Stop Key!") + use);
        return;
    }
    // The three boxes are always saved, whatever count the file had: a
    // combination the dialog shows is one that works after 确定.
    m_list.count = hotkeys::HotKeyList::Roles;
    QString error;
    if (!hotkeys::saveHotKeys(m_path, m_list, &error)) {
        showMessage(tr("热键无法保存: %1").arg(error));
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
