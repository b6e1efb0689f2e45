#pragma once

#include "hotkeys/HotKeyList.h"

#include <QDialog>
#include <QStringList>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace sonalto {

// The key-option dialog: the user presses a combination in one of three boxes
// (record, pause/resume, stop). It reads and writes HotKey.ini itself; the main
// window reloads the file when the dialog has closed.
class TKeyOptionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TKeyOptionForm(QWidget *parent = nullptr);

    QGroupBox *GroupBox1 = nullptr, *GroupBox2 = nullptr, *GroupBox3 = nullptr;
    QLabel *Image1 = nullptr, *Image2 = nullptr, *Image3 = nullptr;
    QLineEdit *Edit1 = nullptr;                                     // entry 0, record
    QLineEdit *Edit3 = nullptr;                                     // entry 2, pause/resume
    QLineEdit *Edit2 = nullptr;                                     // entry 1, stop
    QToolButton *SpeedButton18 = nullptr, *SpeedButton19 = nullptr; // record: 删除, 默认
    QToolButton *SpeedButton3 = nullptr, *SpeedButton4 = nullptr;   // pause: 删除, 默认
    QToolButton *SpeedButton1 = nullptr, *SpeedButton2 = nullptr;   // stop: 删除, 默认
    QPushButton *Button1 = nullptr, *Button2 = nullptr;             // 确定, 取消
    QLabel *Label1 = nullptr; // shown where global hot keys cannot work (Wayland)
    // What Label1 says of the desktop's own shortcuts: bound through its portal,
    // or how to bind the program's command line to one.
    void setDesktopShortcuts(bool bound);
    // Why the last key pressed in a box was not taken, or which values of the
    // file were ignored; hidden when there is nothing to say.
    QLabel *Label2 = nullptr;
    // Shown while no box holds a key: how to set them.
    QLabel *Label3 = nullptr;

    // The list as edited; valid entries are those below its count.
    const hotkeys::HotKeyList &hotKeys() const { return m_list; }
    QString filePath() const;

    // Reads the entries and the three texts from the file again. Values that are
    // no keys leave their box empty and are named in Label2; false (with the
    // reason) when the file cannot be read.
    bool loadFromFile(QString *error = nullptr);

    void Button1Click();
    void Button2Click();
    void deleteClick(int entry);
    void defaultClick(int entry);

    // Messages shown to the user (also kept when they are not shown, for tests).
    bool showMessages = true;
    QStringList ShownMessages;

    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *editForEntry(int entry) const;
    // The display text of an entry, empty when it holds no key.
    QString entryText(int entry) const;
    void showEntry(int entry);
    // keysym: the key's X keysym where the platform gives one, else 0.
    void EditKeyDown(QLineEdit *edit, int qtKey, Qt::KeyboardModifiers modifiers, bool keypad,
                     quint32 keysym);
    void EditKeyUp(QLineEdit *edit);
    // The box shows its entry again, and the note says why the key was not taken.
    void refuse(int entry, const QString &why);
    void setNote(const QString &text);
    void showUnsetNote();
    void showMessage(const QString &text);

    hotkeys::HotKeyList m_list;
    QString m_path;
    // The box showing modifiers held without a key yet, or -1.
    int m_modifiersOnlyEntry = -1;
};

} // namespace sonalto
