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

    // The list as edited; valid entries are those below its count.
    const hotkeys::HotKeyList &hotKeys() const { return m_list; }
    QString filePath() const;

    // Reads the entries and the three texts from the file again; false (with the
    // reason) when a value in it is not a number.
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
    void EditKeyDown(QLineEdit *edit, int qtKey, Qt::KeyboardModifiers modifiers, bool keypad);
    void EditKeyUp(QLineEdit *edit);
    void showMessage(const QString &text);

    hotkeys::HotKeyList m_list;
    QString m_path;
};

} // namespace sonalto
