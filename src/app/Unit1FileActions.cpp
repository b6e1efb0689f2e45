// Actions on the selected recording: open, open with, show in the folder, save a
// copy, mail it, delete it to the trash.
#include "app/DesktopServices.h"
#include "app/Unit1.h"
#include "common/Icons.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

namespace sonalto {

void TForm1::buildFileActions()
{
    PopupMenu5 = new QMenu(ListView1);
    OpenFile1 = PopupMenu5->addAction(appIcon(QStringLiteral("open")), tr("打开文件"));
    Openwith2 = PopupMenu5->addAction(appIcon(QStringLiteral("openwith")), tr("打开使用..."));
    OpenFolder2 = PopupMenu5->addAction(appIcon(QStringLiteral("folder")), tr("打开文件夹"));
    PopupMenu5->addSeparator();
    Saveas1 = PopupMenu5->addAction(appIcon(QStringLiteral("saveas")), tr("另存为..."));
    mailto1 = PopupMenu5->addAction(appIcon(QStringLiteral("mail")), tr("邮件到..."));
    PopupMenu5->addSeparator();
    Delete1 = PopupMenu5->addAction(appIcon(QStringLiteral("delete")), tr("删除"));

    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        PopupMenu5->popup(ListView1->viewport()->mapToGlobal(pos));
    });
    // The arrow beside "打开" offers the same actions.
    connect(SpeedButton9, &QToolButton::clicked, this, [this] {
        PopupMenu5->popup(SpeedButton9->mapToGlobal(QPoint(0, SpeedButton9->height())));
    });

    connect(SpeedButton8, &QToolButton::clicked, this, &TForm1::SpeedButton8Click);
    connect(OpenFile1, &QAction::triggered, this, &TForm1::SpeedButton8Click);
    connect(Openwith2, &QAction::triggered, this, &TForm1::Openwith1Click);
    connect(OpenFolder2, &QAction::triggered, this, &TForm1::OpenFolder1Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(Saveas1, &QAction::triggered, this, &TForm1::SpeedButton3Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TForm1::SpeedButton5Click);
    connect(mailto1, &QAction::triggered, this, &TForm1::SpeedButton5Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(Delete1, &QAction::triggered, this, &TForm1::SpeedButton2Click);
}

void TForm1::SpeedButton8Click()
{
    if (QTreeWidgetItem *row = selectedRow())
        desktop::openWithDefault(rowPath(row));
}

void TForm1::Openwith1Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    const QString path = rowPath(row);
    const QString name = row->text(0);
    QPointer<TForm1> self(this);
    desktop::openWithPortalChooser(path, [self, path, name](bool asked) {
        if (self && !asked)
            self->chooseProgramFor(path, name);
    });
}

void TForm1::chooseProgramFor(const QString &path, const QString &name)
{
    const QList<desktop::DesktopApp> apps = desktop::applicationsFor(path);
    if (apps.isEmpty()) {
        showMessage(tr("没有找到可以打开此文件的程序。"));
        return;
    }
    QStringList names;
    for (const desktop::DesktopApp &app : apps)
        names << app.name;
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, tr("打开使用..."), name, names, 0, false, &ok);
    if (!ok)
        return;
    const int index = int(names.indexOf(chosen));
    if (index >= 0 && !desktop::launch(apps[index], path))
        showMessage(tr("无法启动 ") + chosen);
}

void TForm1::OpenFolder1Click()
{
    if (QTreeWidgetItem *row = selectedRow())
        desktop::showInFileManager(rowPath(row));
}

void TForm1::SpeedButton3Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    const QString path = rowPath(row);
    const QString ext = path.right(3).toLower();
    const QString filter =
        QStringLiteral("*.") + ext + QStringLiteral(" (*.") + ext + QStringLiteral(")");
    QString chosen;
    if (askSaveName)
        chosen = askSaveName(row->text(0), filter);
    else
        chosen = QFileDialog::getSaveFileName(this, tr("另存为..."),
                                              QDir::home().filePath(row->text(0)), filter);
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    const QString target =
        info.path() + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('.') + ext;
    // An existing file is never replaced; say so instead of failing quietly.
    if (QFileInfo::exists(target)) {
        showMessage(tr("文件已存在，没有覆盖: ") + target);
        return;
    }
    // A name that is not UTF-8 is read through a link of a readable name.
    copyInBackground(desktop::usablePath(path), target);
}

void TForm1::copyInBackground(const QString &path, const QString &target)
{
    auto reason = std::make_shared<QString>();
    QThread *copy = QThread::create([path, target, reason] {
        QFile source(path);
        if (!source.copy(target))
            *reason = source.errorString();
    });
    connect(copy, &QThread::finished, this, [this, copy, target, reason] {
        SaveCopies.removeOne(copy);
        copy->deleteLater();
        if (!reason->isEmpty())
            showMessage(tr("无法保存文件: ") + target + QLatin1Char('\n') + *reason);
    });
    SaveCopies << copy;
    copy->start();
}

void TForm1::SpeedButton5Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    QPointer<TForm1> self(this);
    desktop::mailWithAttachment(tr("Sonalto 录音"), rowPath(row), [self](int code) {
        if (!self || code == 0)
            return;
        if (code == 3 || code == -1)
            self->showMessage(tr("没有设置邮件程序，无法发送邮件。"));
        else
            self->showMessage(tr("Has not installed OutLook,or OutLook opened the mistake!"));
    });
}

void TForm1::SpeedButton2Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    const QString path = rowPath(row);
    if (playbackActive() && Playback->path() == path) {
        ShownMessages << tr("The file is Play.");
        if (m_options.showMessages)
            QMessageBox::warning(this, tr("Wrong"), tr("The file is Play."));
        return;
    }
    // The row being recorded stays: its file is still being written.
    if (rowStatus(path) == RowStatus::Recording)
        return;
    QString reason;
    if (QFileInfo::exists(desktop::usablePath(path)) && !desktop::moveToTrash(path, &reason)) {
        showMessage(tr("无法删除文件: ") + row->text(0) + QStringLiteral("\n\n") + reason);
        return;
    }
    const int index = ListView1->indexOfTopLevelItem(row);
    removeRow(row);
    const int count = ListView1->topLevelItemCount();
    if (count > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(std::min(index, count - 1)));
    UpdateListSummary();
}

} // namespace sonalto
