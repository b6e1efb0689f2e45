// The recordings list of the main window: folder scan, rows, summary, sorting,
// selection and the folder buttons.
#include "app/Unit1.h"
#include "common/Icons.h"
#include "common/NativeNames.h"
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

// A row of the list. What every row has (the path, date, length, size and type)
// is kept in plain members and turned into texts only when the view asks, so that
// a folder of thousands of recordings stays small. What only some rows have (a
// status, a clock while recording, a loss report in the tool-tip) is set on the
// item as usual and wins over what the members would say.
class RecordingRow : public QTreeWidgetItem
{
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    // Lengths not read yet show nothing; unreadable ones "--:--:--".
    static constexpr qint64 NotRead = -2, Unreadable = -1;

    RecordingRow(const QString &path, const QDateTime &date, qint64 sizeBytes,
                 std::shared_ptr<const QList<QIcon>> icons)
        : QTreeWidgetItem(Type), m_path(path), m_date(date), m_size(sizeBytes),
          m_icons(std::move(icons)), m_nameAt(int(path.lastIndexOf(QLatin1Char('/')) + 1)),
          m_type(qint8(library::fileTypeIndex(path)))
    {
    }

    static RecordingRow *of(QTreeWidgetItem *item)
    {
        return item && item->type() == Type ? static_cast<RecordingRow *>(item) : nullptr;
    }
    static const RecordingRow *of(const QTreeWidgetItem *item)
    {
        return item && item->type() == Type ? static_cast<const RecordingRow *>(item) : nullptr;
    }

    const QString &path() const { return m_path; }
    QString name() const { return m_path.mid(m_nameAt); }
    int fileType() const { return m_type; }

    // Quietly: the caller repaints the list once for many rows.
    void setDuration(std::optional<double> seconds, bool quietly = false)
    {
        m_seconds = seconds ? library::roundHalfEven(*seconds) : Unreadable;
        showOwn(2, quietly);
    }
    void setSize(qint64 bytes)
    {
        m_size = bytes;
        showOwn(3, false);
    }
    void setRecording(bool recording)
    {
        if (m_recording == recording)
            return;
        m_recording = recording;
        emitDataChanged();
    }

    QVariant data(int column, int role) const override
    {
        const QVariant set = QTreeWidgetItem::data(column, role);
        if (set.isValid())
            return set;
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            switch (column) {
            case 0:
                return readableFileName(name());
            case 1:
                return library::dateText(m_date);
            case 2:
                return m_seconds == NotRead ? QString() : library::durationText(seconds());
            case 3:
                return library::sizeText(m_size);
            }
            break;
        case Qt::ToolTipRole:
            if (column == 1) // the column is narrower than date and time
                return library::dateText(m_date);
            break;
        case Qt::AccessibleDescriptionRole:
            // What a pointer's tool-tip shows (a take's lost audio) is read out too.
            return data(column, Qt::ToolTipRole);
        case Qt::DecorationRole:
            if (column == 0 && m_icons && m_type >= 0 && m_type < m_icons->size())
                return m_icons->at(m_type);
            break;
        case TForm1::PathRole:
            if (column == 0)
                return m_path;
            break;
        case TForm1::RecordingRole:
            if (column == 0)
                return m_recording;
            break;
        case SortKeyRole:
            if (column == 1)
                return m_date;
            if (column == 2 && m_seconds >= 0)
                return m_seconds;
            if (column == 3)
                return m_size;
            break;
        }
        return {};
    }

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const RecordingRow *row = of(&other);
        if (!row)
            return QTreeWidgetItem::operator<(other);
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return library::compareRows(keys(column), row->keys(column), column) < 0;
    }

private:
    std::optional<qint64> seconds() const
    {
        return m_seconds >= 0 ? std::optional<qint64>(m_seconds) : std::nullopt;
    }

    // Only what the column sorts by.
    library::RowSortKeys keys(int column) const
    {
        library::RowSortKeys k;
        if (column == 0)
            k.name = readableFileName(name());
        k.date = m_date;
        k.durationSeconds = seconds();
        k.sizeBytes = m_size;
        return k;
    }

    // The column shows its member again, instead of a text set while recording.
    void showOwn(int column, bool quietly)
    {
        if (QTreeWidgetItem::data(column, Qt::DisplayRole).isValid())
            QTreeWidgetItem::setData(column, Qt::DisplayRole, QVariant());
        else if (!quietly)
            emitDataChanged();
    }

    QString m_path;
    QDateTime m_date;
    qint64 m_size = 0;
    qint64 m_seconds = NotRead;
    // Shared with the window, which may go before its list's rows.
    std::shared_ptr<const QList<QIcon>> m_icons;
    int m_nameAt = 0;
    qint8 m_type = -1;
    bool m_recording = false;
};

} // namespace

// ---------------------------------------------------------------------------
// Rows

QTreeWidgetItem *TForm1::addRow(int index, const QString &path, const QDateTime &date,
                                std::optional<double> durationSeconds, qint64 sizeBytes,
                                RowStatus status)
{
    auto *row = new RecordingRow(path, date, sizeBytes, m_fileTypeIcons);
    row->setDuration(durationSeconds, true);
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
    if (RecordingRow *row = RecordingRow::of(item))
        row->setDuration(seconds);
}

void TForm1::setRowSize(QTreeWidgetItem *item, qint64 bytes)
{
    if (RecordingRow *row = RecordingRow::of(item))
        row->setSize(bytes);
}

QString TForm1::rowPath(QTreeWidgetItem *item) const
{
    const RecordingRow *row = RecordingRow::of(item);
    return row ? row->path() : QString();
}

TForm1::RowStatus TForm1::rowStatus(const QString &path) const
{
    return RowStatuses.value(path, RowStatus::None);
}

void TForm1::setRowStatus(const QString &path, RowStatus status)
{
    const QString texts[] = {QString(),
                             tr("录制", "the status of the row being recorded"),
                             tr("Saved", "the status of a row"),
                             tr("Play", "the status of a row"),
                             tr("Pause", "the status of a row"),
                             tr("Stop", "the status of a row")};
    if (status == RowStatus::None)
        RowStatuses.remove(path);
    else
        RowStatuses.insert(path, status);
    if (RecordingRow *row = RecordingRow::of(Rows.value(path))) {
        // Most rows never have a status: they keep no text for it.
        if (row->text(4) != texts[int(status)])
            row->setText(4, texts[int(status)]);
        // The row being recorded is drawn red.
        row->setRecording(status == RowStatus::Recording);
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
    auto icons = std::make_shared<QList<QIcon>>();
    for (const char *name : {"test.mp3", "test.wma", "test.ogg", "test.wav"}) {
        *icons << deferredIcon([file = QString::fromLatin1(name)] {
            const QMimeType type =
                QMimeDatabase().mimeTypeForFile(file, QMimeDatabase::MatchExtension);
            return QIcon::fromTheme(
                type.iconName(),
                QIcon::fromTheme(type.genericIconName(), appIcon(QStringLiteral("file-audio"))));
        });
    }
    m_fileTypeIcons = std::move(icons);
}

void TForm1::RefreshRecordingList()
{
    ListView1->clear();
    Rows.clear();
    RowStatuses.clear();
    const QString dir = ProjectDirs::instance().AudioDir();
    const QList<library::FolderEntry> entries = library::scanRecordingFolder(dir);
    QList<QTreeWidgetItem *> rows;
    QStringList paths;
    rows.reserve(entries.size());
    paths.reserve(entries.size());
    Rows.reserve(entries.size());
    for (const library::FolderEntry &e : entries) {
        const QString path = dir + e.fileName;
        auto *row = new RecordingRow(path, e.modified, e.sizeBytes, m_fileTypeIcons);
        Rows.insert(path, row);
        showLossReport(row);
        rows << row;
        paths << path;
    }
    ListView1->insertTopLevelItems(0, rows);
    UpdateListSummary();
    // Reading a length means opening the file, and a damaged or huge one may take
    // a while: the list fills in as they arrive.
    if (!DurationProbe) {
        DurationProbe = new library::DurationProber(this);
        connect(DurationProbe, &library::DurationProber::durationsFound, this,
                &TForm1::durationsProbed);
    }
    if (m_options.deferToFirstPaint && !m_painted) {
        m_lengthsToRead = paths;
        return;
    }
    m_lengthsToRead.clear(); // this request replaces any waiting one
    DurationProbe->probe(paths);
}

void TForm1::durationsProbed(const QList<library::ProbedDuration> &lengths)
{
    for (const library::ProbedDuration &length : lengths) {
        RecordingRow *row = RecordingRow::of(rowOf(length.path));
        if (row && rowStatus(length.path) != RowStatus::Recording)
            row->setDuration(length.known ? std::optional<double>(length.seconds) : std::nullopt,
                             true);
    }
    // One repaint for the batch; rows out of sight need none.
    ListView1->viewport()->update();
}

void TForm1::UpdateListSummary()
{
    int counts[4] = {0, 0, 0, 0};
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const RecordingRow *row = RecordingRow::of(ListView1->topLevelItem(i));
        const int type = row ? row->fileType() : -1;
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
    FilesOpen = !FilesOpen;
    showFileSection();
}

void TForm1::showFileSection()
{
    SpeedButton1->setChecked(FilesOpen);
    Panel4->setVisible(FilesOpen);
    StatusBar1->setVisible(FilesOpen);
    Label11->setVisible(!FilesOpen);
    SpeedButton1->setIcon(
        appIcon(FilesOpen ? QStringLiteral("expand") : QStringLiteral("collapse")));
    Panel6->setFixedHeight(FilesOpen ? m_panel6Height : CollapsedHeight);
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
    // While a take runs the file buttons stay off, whatever is selected.
    if (Recording->state() == recording::RecordingSession::State::Idle)
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
