// The recordings list of the main window: folder scan, rows, summary, sorting,
// selection and the folder buttons.
#include "app/Unit1.h"
#include "common/Icons.h"
#include "common/Projectdir.h"
#include "library/DurationProber.h"
#include "library/ListFormat.h"
#include "options/Generaloptionunit.h"
#include "settings/IniFile.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace sonalto {

namespace {

constexpr int SortKeyRole = Qt::UserRole + 1;

// A row that sorts by the values behind its texts.
class RecordingRow : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return library::compareRows(keys(), static_cast<const RecordingRow &>(other).keys(),
                                    column) < 0;
    }

    library::RowSortKeys keys() const
    {
        library::RowSortKeys k;
        k.name = text(0);
        k.date = data(1, SortKeyRole).toDateTime();
        const QVariant duration = data(2, SortKeyRole);
        if (duration.isValid())
            k.durationSeconds = duration.toLongLong();
        k.sizeBytes = data(3, SortKeyRole).toLongLong();
        return k;
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Rows

QTreeWidgetItem *TForm1::addRow(int index, const QString &path, const QDateTime &date,
                                std::optional<double> durationSeconds, qint64 sizeBytes,
                                RowStatus status)
{
    auto *row = new RecordingRow;
    row->setText(0, QFileInfo(path).fileName());
    row->setData(0, PathRole, path);
    row->setText(1, library::dateText(date));
    row->setToolTip(1, row->text(1)); // the column is narrower than date and time
    row->setData(1, SortKeyRole, date);
    setRowDuration(row, durationSeconds);
    setRowSize(row, sizeBytes);
    SetRowIcon(row);
    if (QTreeWidgetItem *old = Rows.value(path))
        removeRow(old);
    Rows.insert(path, row);
    setRowStatus(path, status);
    showLossReport(row);
    ListView1->insertTopLevelItem(index, row);
    return row;
}

void TForm1::removeRow(QTreeWidgetItem *row)
{
    const QString path = rowPath(row);
    if (Rows.value(path) == row) {
        Rows.remove(path);
        RowStatuses.remove(path);
    }
    delete row;
}

QTreeWidgetItem *TForm1::rowOf(const QString &path) const
{
    return Rows.value(path);
}

void TForm1::showLossReport(QTreeWidgetItem *row)
{
    const QString report = LossReports.value(rowPath(row));
    if (report.isEmpty())
        return;
    for (int c = 0; c < ListView1->columnCount(); ++c) {
        const QString tip = row->toolTip(c);
        row->setToolTip(c, tip.isEmpty() ? report : tip + QLatin1Char('\n') + report);
    }
}

void TForm1::setRowDuration(QTreeWidgetItem *item, std::optional<double> seconds)
{
    item->setText(2, library::durationText(seconds));
    if (seconds)
        item->setData(2, SortKeyRole, QVariant::fromValue(library::roundHalfEven(*seconds)));
    else
        item->setData(2, SortKeyRole, QVariant());
}

void TForm1::setRowSize(QTreeWidgetItem *item, qint64 bytes)
{
    item->setText(3, library::sizeText(bytes));
    item->setData(3, SortKeyRole, QVariant::fromValue(bytes));
}

QString TForm1::rowPath(QTreeWidgetItem *item) const
{
    return item->data(0, PathRole).toString();
}

TForm1::RowStatus TForm1::rowStatus(const QString &path) const
{
    return RowStatuses.value(path, RowStatus::None);
}

void TForm1::setRowStatus(const QString &path, RowStatus status)
{
    static const QString texts[] = {QString(),
                                    QStringLiteral("录制"),
                                    QStringLiteral("Saved"),
                                    QStringLiteral("Play"),
                                    QStringLiteral("Pause"),
                                    QStringLiteral("Stop")};
    if (status == RowStatus::None)
        RowStatuses.remove(path);
    else
        RowStatuses.insert(path, status);
    if (QTreeWidgetItem *row = Rows.value(path)) {
        row->setText(4, texts[int(status)]);
        // The row being recorded is drawn red.
        row->setData(0, RecordingRole, status == RowStatus::Recording);
    }
}

void TForm1::clearStatuses()
{
    const QList<QString> paths = RowStatuses.keys();
    for (const QString &path : paths)
        setRowStatus(path, RowStatus::None);
}

QTreeWidgetItem *TForm1::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

// ---------------------------------------------------------------------------
// Folder scan

void TForm1::LoadFileTypeIcons()
{
    // The desktop's own icons for the four types, by MIME type (looked up when
    // first drawn: the MIME and icon-theme data take several milliseconds to read).
    m_fileTypeIcons.clear();
    for (const char *name : {"test.mp3", "test.wma", "test.ogg", "test.wav"}) {
        m_fileTypeIcons << deferredIcon([file = QString::fromLatin1(name)] {
            const QMimeType type =
                QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension);
            return QIcon::fromTheme(
                type.iconName(),
                QIcon::fromTheme(type.genericIconName(), appIcon(QStringLiteral("file-audio"))));
        });
    }
}

void TForm1::SetRowIcon(QTreeWidgetItem *item)
{
    const int index = library::fileTypeIndex(item->text(0));
    if (index >= 0 && index < m_fileTypeIcons.size())
        item->setIcon(0, m_fileTypeIcons[index]);
}

void TForm1::RefreshRecordingList()
{
    ListView1->clear();
    Rows.clear();
    RowStatuses.clear();
    const QString dir = ProjectDirs::instance().AudioDir();
    const QList<library::FolderEntry> entries = library::scanRecordingFolder(dir);
    QStringList paths;
    for (const library::FolderEntry &e : entries) {
        QTreeWidgetItem *row = addRow(ListView1->topLevelItemCount(), dir + e.fileName, e.modified,
                                      std::nullopt, e.sizeBytes);
        row->setText(2, QString()); // filled in when its length is known
        paths << dir + e.fileName;
    }
    UpdateListSummary();
    // Reading a length means opening the file, and a damaged or huge one may take
    // a while: the list fills in as they arrive.
    if (!DurationProbe) {
        DurationProbe = new library::DurationProber(this);
        connect(DurationProbe, &library::DurationProber::durationFound, this,
                &TForm1::durationProbed);
    }
    if (m_options.deferToFirstPaint && !m_painted) {
        m_lengthsToRead = paths;
        return;
    }
    m_lengthsToRead.clear(); // this request replaces any waiting one
    DurationProbe->probe(paths);
}

void TForm1::durationProbed(const QString &path, double seconds, bool known)
{
    QTreeWidgetItem *row = rowOf(path);
    if (row && rowStatus(path) != RowStatus::Recording)
        setRowDuration(row, known ? std::optional<double>(seconds) : std::nullopt);
}

void TForm1::UpdateListSummary()
{
    int counts[4] = {0, 0, 0, 0};
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const int type = library::fileTypeIndex(ListView1->topLevelItem(i)->text(0));
        if (type >= 0)
            ++counts[type];
    }
    Label11->setText(library::listSummary(counts[0], counts[1], counts[2], counts[3]));
    Label11->setToolTip(Label11->text());
    StatusBar1->showMessage(Label11->text());
}

// ---------------------------------------------------------------------------
// Sorting

void TForm1::ListView1ColumnClick(int column)
{
    if (column < 0 || column >= 4)
        return; // the status column does not sort
    SortColumn = column;
    sortList();
    SortAscending[size_t(column)] = SortAscending[size_t(column)] == 0 ? 1 : 0;
}

void TForm1::sortList()
{
    ListView1->sortItems(SortColumn, SortAscending[size_t(SortColumn)] == 1 ? Qt::AscendingOrder
                                                                            : Qt::DescendingOrder);
}

// ---------------------------------------------------------------------------
// Section, selection and folder buttons

void TForm1::SpeedButton1Click()
{
    if (SpeedButton1->isChecked()) {
        SpeedButton1->setIcon(appIcon(QStringLiteral("expand")));
        Panel6->setFixedHeight(m_panel6Height);
        Label11->hide();
        StatusBar1->show();
    } else {
        SpeedButton1->setIcon(appIcon(QStringLiteral("collapse")));
        Panel6->setFixedHeight(CollapsedHeight);
        Label11->show();
        StatusBar1->hide();
    }
    fitHeight();
}

void TForm1::setFileButtonsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{SpeedButton2, SpeedButton3, SpeedButton5,
                                                       SpeedButton8, SpeedButton9})
        w->setEnabled(enabled);
    for (QWidget *w : Panel3->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        w->setEnabled(enabled);
}

void TForm1::ListView1Click()
{
    setFileButtonsEnabled(selectedRow() != nullptr);
}

void TForm1::SpeedButton6Click()
{
    // The general options dialog's folder chooser does the work (and the rescan);
    // the dialogs are made right after the window's first paint.
    if (GeneralOptionForm)
        GeneralOptionForm->SpeedButton1Click();
}

void TForm1::SpeedButton7Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(Edit1->text()));
}

} // namespace sonalto
