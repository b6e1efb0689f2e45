// The recordings list of the main window: folder scan, row texts, summary,
// sorting by header clicks, selection and the red row of a recording.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"

#include "library/DurationProber.h"
#include "library/ListFormat.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

QStringList column(const TForm1 &form, int c)
{
    QStringList texts;
    for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
        texts << form.ListView1->topLevelItem(i)->text(c);
    return texts;
}

QStringList names(const TForm1 &form)
{
    return column(form, 0);
}

void clickHeader(TForm1 &form, int section)
{
    QHeaderView *header = form.ListView1->header();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void clickRow(TForm1 &form, int row)
{
    const QRect rect = form.ListView1->visualItemRect(form.ListView1->topLevelItem(row));
    QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}

QList<QWidget *> fileButtons(const TForm1 &form)
{
    QList<QWidget *> buttons{form.SpeedButton2, form.SpeedButton3, form.SpeedButton5,
                             form.SpeedButton8, form.SpeedButton9};
    buttons << form.Panel3->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    return buttons;
}

} // namespace

TEST(RecordingsList, ListsAudioFilesByTypeAndSummarises)
{
    TempFolders folders;
    std::string error;
    const audio::PcmFormat format{44100, 2};
    ASSERT_TRUE(writeRecording(folders.audioDir() + "a.mp3", toneSamples(1000, 2.0, format), format,
                               &error))
        << error;
    ASSERT_TRUE(writeRecording(folders.audioDir() + "b.WAV", toneSamples(1000, 1.0, format), format,
                               &error))
        << error;
    ASSERT_TRUE(writeRecording(folders.audioDir() + ".hidden.wav", toneSamples(1000, 1.0, format),
                               format, &error));
    ASSERT_TRUE(writeJunk(folders.audioDir() + "c.txt", 100));

    auto form = makeForm(makeTestBackend());
    QTreeWidget *list = form->ListView1;
    ASSERT_EQ(list->columnCount(), 5);
    const QStringList headers{"文件名", "日期", "持续时间", "大小", "状态"};
    const int widths[] = {120, 110, 60, 60, 70};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), headers[c]);
        EXPECT_EQ(list->columnWidth(c), widths[c]) << c;
    }

    // Scan order is by type (mp3 first), whatever the names say.
    EXPECT_EQ(names(*form), (QStringList{"a.mp3", "b.WAV"}));
    // Lengths arrive from the background as they are read.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->DurationProbe->pending() == 0; }, 5000));
    EXPECT_EQ(column(*form, 2), (QStringList{"00:00:02", "00:00:01"}));
    EXPECT_EQ(column(*form, 3)[1], "0.17 MB"); // 176,444 bytes
    EXPECT_EQ(column(*form, 4), (QStringList{"", ""}));
    EXPECT_FALSE(list->topLevelItem(1)->icon(0).isNull());
    const QString summary = "总共 2 个文件 (1 mp3, 0 wma, 0 ogg, 1 wav)";
    EXPECT_EQ(form->Label11->text(), summary);
    EXPECT_EQ(form->StatusBar1->currentMessage(), summary);

    // A rescan of a changed folder starts over.
    ASSERT_TRUE(writeRecording(folders.audioDir() + "d.wma", toneSamples(1000, 1.0, format), format,
                               &error))
        << error;
    QFile::remove(folders.audioDir() + "a.mp3");
    form->RefreshRecordingList();
    EXPECT_EQ(names(*form), (QStringList{"d.wma", "b.WAV"}));
    EXPECT_EQ(form->Label11->text(), "总共 2 个文件 (0 mp3, 1 wma, 0 ogg, 1 wav)");
}

TEST(RecordingsList, DurationAndSizeTexts)
{
    TempFolders folders;
    std::string error;
    // Mono 8 kHz keeps the minute-long files small; lengths are exact in WAV.
    const audio::PcmFormat format{8000, 1};
    ASSERT_TRUE(writeRecording(folders.audioDir() + "short.wav", toneSamples(440, 59.5, format),
                               format, &error));
    ASSERT_TRUE(writeRecording(folders.audioDir() + "long.wav", toneSamples(440, 60.5, format),
                               format, &error));
    ASSERT_TRUE(writeJunk(folders.audioDir() + "broken.ogg", 1572864));
    ASSERT_TRUE(writeJunk(folders.audioDir() + "empty.wma", 0));

    auto form = makeForm(makeTestBackend());
    ASSERT_EQ(names(*form).size(), 4);
    // Lengths are read in the background.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->DurationProbe->pending() == 0; }, 5000));
    QMap<QString, QStringList> rows;
    for (int i = 0; i < 4; ++i) {
        QTreeWidgetItem *item = form->ListView1->topLevelItem(i);
        rows[item->text(0)] = QStringList{item->text(2), item->text(3)};
    }
    // Halfway lengths go to the even neighbour: both are one minute.
    EXPECT_EQ(rows["short.wav"], (QStringList{"00:01:00", "0.91 MB"}));
    EXPECT_EQ(rows["long.wav"], (QStringList{"00:01:00", "0.92 MB"}));
    EXPECT_EQ(rows["broken.ogg"], (QStringList{"--:--:--", "1.50 MB"}));
    EXPECT_EQ(rows["empty.wma"], (QStringList{"--:--:--", "0.00 MB"}));
    EXPECT_EQ(form->Label11->text(), "总共 4 个文件 (0 mp3, 1 wma, 1 ogg, 2 wav)");
}

TEST(RecordingsList, HeaderClicksSortByValueWithAFlagPerColumn)
{
    TempFolders folders;
    const QString dir = folders.audioDir();
    ASSERT_TRUE(writeJunk(dir + "small.wav", 9961472)); // 9.50 MB
    ASSERT_TRUE(writeJunk(dir + "big.wav", 10485760));  // 10.00 MB
    ASSERT_TRUE(writeJunk(dir + "tiny.mp3", 524288));   // 0.50 MB
    setModified(dir + "small.wav", QDateTime(QDate(2014, 10, 2), QTime(10, 0)));
    setModified(dir + "big.wav", QDateTime(QDate(2014, 9, 30), QTime(10, 0)));
    setModified(dir + "tiny.mp3", QDateTime(QDate(2014, 1, 5), QTime(10, 0)));

    auto form = makeForm(makeTestBackend());
    EXPECT_EQ(names(*form)[0], "tiny.mp3"); // types in order, each in the folder's order
    EXPECT_TRUE(column(*form, 1).contains(
        "2014-10-2 " +
        QLocale().toString(QTime(10, 0), sonalto::library::longTimeFormat(QLocale()))));

    // Showing the window sorts by date like a click on that header: newest first.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(names(*form), (QStringList{"small.wav", "big.wav", "tiny.mp3"}));
    EXPECT_EQ(form->SortColumn, 1);
    EXPECT_EQ(form->SortAscending[1], 1);

    form->SpeedButton1->click(); // the list section opens: its header can be clicked
    clickHeader(*form, 3);       // first click: largest first
    EXPECT_EQ(names(*form), (QStringList{"big.wav", "small.wav", "tiny.mp3"}));
    clickHeader(*form, 3);
    EXPECT_EQ(names(*form), (QStringList{"tiny.mp3", "small.wav", "big.wav"}));
    EXPECT_EQ(form->SortAscending[3], 0);

    // The date column kept its own flag from the first show: now oldest first.
    clickHeader(*form, 1);
    EXPECT_EQ(names(*form), (QStringList{"tiny.mp3", "big.wav", "small.wav"}));
    EXPECT_EQ(form->SortAscending[1], 0);

    // The status column does not sort.
    form->ListView1->topLevelItem(0)->setText(4, "Stop");
    clickHeader(*form, 4);
    EXPECT_EQ(names(*form), (QStringList{"tiny.mp3", "big.wav", "small.wav"}));
    EXPECT_EQ(form->SortColumn, 1);
    EXPECT_EQ(form->SortAscending[4], 0);
}

TEST(RecordingsList, NamesIgnoreCaseAndDurationsSortByValue)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    const QDateTime now = QDateTime::currentDateTime();
    form->addRow(0, folders.audioDir() + "a.mp3", now, 99.0 * 3600, 10);
    form->addRow(1, folders.audioDir() + "B.wav", now, 100.0 * 3600, 10);
    form->addRow(2, folders.audioDir() + "C.ogg", now, 5.0, 10);
    form->addRow(3, folders.audioDir() + "d.wma", now, std::nullopt, 10);
    EXPECT_EQ(column(*form, 2), (QStringList{"99:00:00", "100:00:00", "00:00:05", "--:--:--"}));

    form->ListView1ColumnClick(2);
    EXPECT_EQ(names(*form), (QStringList{"B.wav", "a.mp3", "C.ogg", "d.wma"}));
    form->ListView1ColumnClick(2);
    EXPECT_EQ(names(*form), (QStringList{"d.wma", "C.ogg", "a.mp3", "B.wav"}));

    form->ListView1ColumnClick(0);
    EXPECT_EQ(names(*form), (QStringList{"d.wma", "C.ogg", "B.wav", "a.mp3"}));
    form->ListView1ColumnClick(0);
    EXPECT_EQ(names(*form), (QStringList{"a.mp3", "B.wav", "C.ogg", "d.wma"}));
}

TEST(RecordingsList, ASelectionByKeyboardOrClickEnablesTheFileButtons)
{
    TempFolders folders;
    ASSERT_TRUE(writeJunk(folders.audioDir() + "one.wav", 10));
    ASSERT_TRUE(writeJunk(folders.audioDir() + "two.wav", 10));
    auto form = makeForm(makeTestBackend());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // Open the list section so that the rows have a place on screen.
    form->SpeedButton1->click();
    const QList<QWidget *> buttons = fileButtons(*form);
    ASSERT_GE(buttons.size(), 5 + 9);
    for (QWidget *w : buttons)
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();

    // The keyboard selects as a click does.
    form->ListView1->setFocus();
    QTest::keyClick(form->ListView1, Qt::Key_Down);
    ASSERT_NE(form->selectedRow(), nullptr);
    for (QWidget *w : buttons)
        EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();

    clickRow(*form, 1);
    EXPECT_EQ(form->selectedRow(), form->ListView1->topLevelItem(1));
    for (QWidget *w : buttons)
        EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();
}

TEST(RecordingsList, TheRowBeingRecordedIsRed)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    form->resize(553, 600);
    form->SpeedButton1->click();
    const QDateTime now = QDateTime::currentDateTime();
    QTreeWidgetItem *plain =
        form->addRow(0, folders.audioDir() + "WWWWWW.wav", now, 1.0, 100, TForm1::RowStatus::Saved);
    QTreeWidgetItem *recording = form->addRow(0, folders.audioDir() + "WWWWWW.mp3", now,
                                              std::nullopt, 0, TForm1::RowStatus::Recording);
    form->ListView1->clearSelection();

    const QImage shot = form->ListView1->viewport()->grab().toImage();
    auto redPixels = [&](QTreeWidgetItem *item) {
        const QRect rect = form->ListView1->visualItemRect(item) & shot.rect();
        int count = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                count += c.red() > 180 && c.green() < 80 && c.blue() < 80 ? 1 : 0;
            }
        return count;
    };
    EXPECT_GT(redPixels(recording), 20);
    EXPECT_EQ(redPixels(plain), 0);
}

TEST(RecordingsList, LengthsOfAFullFolderArriveInBatchesAndNoneIsLost)
{
    TempFolders folders;
    // Lengths of 1 to 4 s, named after them; mono 8 kHz keeps the folder small.
    constexpr int Files = 240;
    const audio::PcmFormat format{8000, 1};
    QMap<QString, QString> expected;
    for (int i = 0; i < Files; ++i) {
        const int seconds = 1 + i % 4;
        const QString name =
            QStringLiteral("take%1-%2s.wav").arg(i, 3, 10, QLatin1Char('0')).arg(seconds);
        std::string error;
        ASSERT_TRUE(writeRecording(folders.audioDir() + name, toneSamples(440, seconds, format),
                                   format, &error))
            << error;
        expected[name] = library::FormatHMS(seconds);
    }
    auto form = makeForm(makeTestBackend());
    QStringList handedOver;
    int batches = 0;
    QObject::connect(form->DurationProbe, &library::DurationProber::durationsFound,
                     [&](const QList<library::ProbedDuration> &lengths) {
                         ++batches;
                         for (const library::ProbedDuration &length : lengths)
                             handedOver << length.path;
                     });

    // Two rescans in a row: the second drops whatever the first had not handed over.
    form->RefreshRecordingList();
    form->RefreshRecordingList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->DurationProbe->pending() == 0; }, 20000));
    EXPECT_EQ(handedOver.size(), Files);
    EXPECT_EQ(QSet<QString>(handedOver.begin(), handedOver.end()).size(), Files);
    EXPECT_LT(batches, Files / 4); // a batch at most every 100 ms, not one per file
    QMap<QString, QString> shown;
    for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i)
        shown[form->ListView1->topLevelItem(i)->text(0)] =
            form->ListView1->topLevelItem(i)->text(2);
    EXPECT_EQ(shown, expected);
}
