#include "app/Unit1.h"

#include "app/AboutForm.h"
#include "app/ClickButton.h"
#include "app/LabelStyle.h"
#include "app/LevelMeterBox.h"
#include "app/PictureLabel.h"
#include "app/SpectrumBox.h"
#include "audio/CodecLibraries.h"
#include "common/Icons.h"
#include "common/InstallPaths.h"
#include "common/Projectdir.h"
#include "library/DurationProber.h"
#include "options/Generaloptionunit.h"
#include "options/RateLists.h"
#include "recording/RecordingMessages.h"
#include "recording/Spectrum_vis.h"
#include "recording/TakeJournal.h"
#include "settings/ConfigFile.h"
#include "settings/IniFile.h"
#include "tray/Trayicon.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace sonalto {

namespace {

const QColor SummaryGrey(0x60, 0x60, 0x60);

const QString SupportMail = QStringLiteral("support@sonalto.example");
const QString ProductPage = QStringLiteral("https://www.sonalto.example/");
const QString MakerPage = QStringLiteral("https://www.sonalto.example/products/");

QLabel *makeLabel(const QString &text, QWidget *parent, const QRect &geometry,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

// A flat button with a picture and an optional caption beside it.
QToolButton *makeSpeedButton(QWidget *parent, const QRect &geometry, const QString &icon,
                             const QString &caption, const QString &accessibleName,
                             bool sticky = false)
{
    auto *button = new ClickButton(parent);
    button->setGeometry(geometry);
    button->setAutoRaise(true);
    button->setIcon(appIcon(icon));
    button->setIconSize(QSize(16, 16));
    if (!caption.isEmpty()) {
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    button->setAccessibleName(caption.isEmpty() ? accessibleName : caption.trimmed());
    button->setCheckable(sticky);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

// Draws the row being recorded in red, like the list's custom drawing.
class RecordingRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.siblingAtColumn(0).data(TForm1::RecordingRole).toBool()) {
            option->palette.setColor(QPalette::Text, QColor(255, 0, 0));
            option->palette.setColor(QPalette::HighlightedText, QColor(255, 0, 0));
        }
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Construction and layout

TForm1::TForm1(Options options, QWidget *parent)
    : QMainWindow(parent), m_options(std::move(options))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Sonalto"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    buildMenu();
    buildToolBar();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildStatusArea(central);
    buildDevicePanel(central);
    buildOutputPanel(central);
    buildFilePanel(central);
    for (QWidget *panel : {Panel7, Panel5, Panel9, Panel6}) {
        panel->setFixedWidth(553);
        layout->addWidget(panel);
    }
    setCentralWidget(central);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(500);
    buildSchedulePanel();
    Timer3 = new QTimer(this);
    Timer3->setInterval(1000);
    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
    // Ten frames a second of spectrum and level; the bars fall as fast as
    // they would at twenty (see FormCreate).
    PosTimer = new QTimer(this);
    PosTimer->setInterval(100);
    connect(PosTimer, &QTimer::timeout, this, &TForm1::PosTimerTimer);

    Recording = new recording::RecordingSession(this);
    connect(Recording, &recording::RecordingSession::stateChanged, this,
            &TForm1::recordingStateChanged);
    connect(Recording, &recording::RecordingSession::takeEnded, this, &TForm1::takeEnded);
    connect(Recording, &recording::RecordingSession::startFailed, this,
            &TForm1::recordingStartFailed);
    createPlaybackSession(); // again once the audio layer is up
    FormCreate();
}

TForm1::~TForm1()
{
    // Finish whatever is still open so files are complete even on an abrupt end (a
    // log-out, a signal, the exit with a take running). The take's end is no longer
    // shown here: it waits in the journal for the next start.
    m_ending = true;
    Recording->stop();
    while (Recording->state() != recording::RecordingSession::State::Idle) {
        Recording->waitForFinish();
        // Its end (and, for a take that was still starting, its start) was posted
        // to an event loop that has ended: delivered here.
        QCoreApplication::sendPostedEvents(Recording);
    }
    StopAndFreeChannels();
    for (QThread *copy : std::as_const(SaveCopies)) {
        copy->wait();
        delete copy;
    }
    delete TrayIcon1;
}

void TForm1::buildMenu()
{
    MainMenu1 = menuBar();
    File1 = MainMenu1->addMenu(tr("文件"));
    Recorder1 = File1->addAction(tr("录制"));
    Pause1 = File1->addAction(tr("暂停"));
    Stop1 = File1->addAction(tr("停止"));
    Pause1->setEnabled(false);
    Stop1->setEnabled(false);
    File1->addSeparator();
    Exit1 = File1->addAction(tr("退出"));

    Options1 = MainMenu1->addMenu(tr("选项"));
    GeneralOptions1 = Options1->addAction(tr("常规选项..."));
    Options1->addSeparator();
    KeybordOptions1 = Options1->addAction(tr("键盘选项..."));

    Help1 = MainMenu1->addMenu(tr("帮助"));
    HelpFile1 = Help1->addAction(tr("帮助文件"));
    Help1->addSeparator();
    Submitquestionbug1 = Help1->addAction(tr("提交问题/错误"));
    Help1->addSeparator();
    SonaltoWebSite1 = Help1->addAction(tr("Sonalto 网站"));
    KestrovaOtherSoftware1 = Help1->addAction(tr("Kestrova 其它软件"));
    Help1->addSeparator();
    About1 = Help1->addAction(tr("关于..."));

    connect(Recorder1, &QAction::triggered, this, [this] { ToolButton1->click(); });
    connect(Pause1, &QAction::triggered, this, [this] { ToolButton2->click(); });
    connect(Stop1, &QAction::triggered, this, [this] { ToolButton3->click(); });
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(GeneralOptions1, &QAction::triggered, this, [this] { ToolButton5->click(); });
    connect(KeybordOptions1, &QAction::triggered, this, [this] { ToolButton7->click(); });
    connect(HelpFile1, &QAction::triggered, this, &TForm1::HelpFile1Click);
    connect(Submitquestionbug1, &QAction::triggered, this, &TForm1::Submitquestionbug1Click);
    connect(SonaltoWebSite1, &QAction::triggered, this, &TForm1::SonaltoWebSite1Click);
    connect(KestrovaOtherSoftware1, &QAction::triggered, this,
            &TForm1::KestrovaOtherSoftware1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
}

void TForm1::buildToolBar()
{
    ToolBar1 = new QToolBar(QStringLiteral("ToolBar1"), this);
    ToolBar1->setAccessibleName(tr("工具栏"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto add = [this](const QString &icon, const QString &caption, const QString &hint) {
        auto *button = new ClickButton(ToolBar1);
        button->setIcon(appIcon(icon));
        button->setText(caption);
        button->setToolTip(hint);
        button->setAccessibleName(caption);
        button->setAccessibleDescription(hint);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setMinimumWidth(52);
        button->setFocusPolicy(Qt::TabFocus); // reachable from the keyboard
        ToolBar1->addWidget(button);
        return button;
    };
    ToolButton1 = add(QStringLiteral("record"), tr("录制"), tr("录制中"));
    ToolButton2 = add(QStringLiteral("pause"), tr("暂停"), tr("暂停"));
    ToolButton3 = add(QStringLiteral("stop"), tr("停止"), tr("停止"));
    ToolButton2->setEnabled(false);
    ToolButton3->setEnabled(false);
    ToolBar1->addSeparator();
    ToolButton5 = add(QStringLiteral("settings"), tr("设置"), tr("常规选项"));
    ToolButton7 = add(QStringLiteral("hotkey"), tr("热键"), tr("键盘选项"));
    ToolButton10 = add(QStringLiteral("schedule"), tr("日程表"), tr("日程表"));

    Panel11 = new QLabel(ToolBar1);
    Panel11->setAccessibleName(tr("日程"));
    Panel11->setVisible(false);
    ToolBar1->addWidget(Panel11)->setVisible(false);

    connect(ToolButton1, &QToolButton::clicked, this, &TForm1::ToolButton1Click);
    connect(ToolButton2, &QToolButton::clicked, this, &TForm1::ToolButton2Click);
    connect(ToolButton3, &QToolButton::clicked, this, &TForm1::ToolButton3Click);
    connect(ToolButton7, &QToolButton::clicked, this, &TForm1::ToolButton7Click);
    connect(ToolButton5, &QToolButton::clicked, this, [this] {
        if (GeneralOptionForm)
            GeneralOptionForm->exec();
    });
}

void TForm1::buildStatusArea(QWidget *parent)
{
    Panel7 = new QWidget(parent);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    Panel7->setFixedHeight(99);
    Panel8 = new QWidget(Panel7);
    Panel8->setObjectName(QStringLiteral("Panel8"));
    Panel8->setGeometry(4, 2, 545, 95);
    Panel8->setAutoFillBackground(true);
    QPalette black = Panel8->palette();
    black.setColor(QPalette::Window, Qt::black);
    Panel8->setPalette(black);
    Panel8->setAccessibleName(tr("状态"));

    Label8 = makeLabel(QStringLiteral("00:00:00"), Panel8, QRect(12, 6, 200, 50), Qt::AlignCenter);
    QFont clock = Label8->font();
    clock.setPointSize(28);
    clock.setBold(true);
    Label8->setFont(clock);
    setFontColour(Label8, Green);
    // Read as its time, then what it is.
    Label8->setAccessibleDescription(tr("录制时间"));

    Label2 = new ClickLabel(tr("检测器"), Panel8);
    Label2->setGeometry(239, 16, 60, 16);
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->setAccessibleName(tr("检测器"));
    setFontColour(Label2, Lime);
    Label3 = makeLabel(tr("录制中"), Panel8, QRect(239, 40, 60, 16));
    setFontColour(Label3, Green);
    Label7 = makeLabel(tr("播放", "the playback mode"), Panel8, QRect(239, 64, 60, 16));
    setFontColour(Label7, Green);
    Image1 = new PictureLabel(appIcon(QStringLiteral("arrow")), Panel8);
    Image1->setGeometry(225, 19, 7, 10);
    Image1->setAccessibleName(tr("模式指示"));

    // Input names can be long: cut at the end, the whole text in the tool-tip.
    Label15 = new ElidedLabel(QString(), Panel8);
    Label15->setGeometry(QRect(4, 64, 220, 24));
    Label15->setAlignment(Qt::AlignCenter);
    setFontColour(Label15, QColor(0xC0, 0xC0, 0xC0));
    Label15->setAccessibleName(tr("状态行"));

    PaintFrame = new SpectrumBox(Panel8);
    PaintFrame->move(312, 8);
    PaintFrame->setAccessibleName(tr("频谱"));

    // The input level in the free strip right of the spectrum, the clip warning
    // in the free corner between the clock and the mode labels.
    InputLevelBar = new LevelMeterBox(Panel8);
    InputLevelBar->setObjectName(QStringLiteral("InputLevelBar"));
    InputLevelBar->setGeometry(532, 8, 11, 81);
    InputLevelBar->setAccessibleName(tr("输入电平"));
    InputLevelBar->setToolTip(tr("输入电平 (dBFS)"));
    ClipWarning = new ClickLabel(tr("削波"), Panel8);
    ClipWarning->setObjectName(QStringLiteral("ClipWarning"));
    ClipWarning->setGeometry(212, 1, 28, 14);
    ClipWarning->setAlignment(Qt::AlignCenter);
    ClipWarning->setAccessibleName(tr("削波"));
    ClipWarning->setAccessibleDescription(tr("输入达到满幅；单击清除"));
    ClipWarning->setToolTip(tr("输入达到满幅；单击清除"));
    QFont clipFont = ClipWarning->font();
    clipFont.setPixelSize(10);
    clipFont.setBold(true);
    ClipWarning->setFont(clipFont);
    ClipWarning->setAutoFillBackground(true);
    QPalette clipPalette = ClipWarning->palette();
    clipPalette.setColor(QPalette::Window, QColor(255, 0, 0));
    clipPalette.setColor(QPalette::WindowText, Qt::white);
    ClipWarning->setPalette(clipPalette);
    ClipWarning->hide();
    connect(ClipWarning, &ClickLabel::clicked, this, &TForm1::clearClipWarning);
    m_levelClock.start();
    PaintFrame->onPaintRequest = [this](QImage &picture, const QRect &clip) {
        PaintFramePaint(picture, clip);
    };

    connect(Label2, &ClickLabel::clicked, this, &TForm1::Label2Click);
    connect(Label2, &ClickLabel::entered, this, &TForm1::Label2MouseEnter);
    connect(Label2, &ClickLabel::left, this, &TForm1::Label2MouseLeave);
}

void TForm1::buildDevicePanel(QWidget *parent)
{
    Panel5 = new QWidget(parent);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFixedHeight(m_panel5Height);
    SpeedButton20 = makeSpeedButton(Panel5, QRect(4, 3, 100, 22), QStringLiteral("collapse"),
                                    tr("设备设置"), QString(), true);
    Label13 = makeLabel(QString(), Panel5, QRect(110, 4, 272, 20));
    setFontColour(Label13, SummaryGrey);

    Label1 =
        makeLabel(tr("录制设备:"), Panel5, QRect(8, 33, 80, 20), Qt::AlignRight | Qt::AlignVCenter);
    ComboBox2 = new QComboBox(Panel5);
    ComboBox2->setGeometry(92, 32, 445, 22);
    ComboBox2->setAccessibleName(tr("录制设备"));
    Label1->setBuddy(ComboBox2);
    Label6 =
        makeLabel(tr("输入声道:"), Panel5, QRect(8, 61, 80, 20), Qt::AlignRight | Qt::AlignVCenter);
    ComboBox1 = new QComboBox(Panel5);
    ComboBox1->setGeometry(92, 60, 200, 22);
    ComboBox1->setAccessibleName(tr("输入声道"));
    Label6->setBuddy(ComboBox1);
    Label14 = makeLabel(tr("录制音量:"), Panel5, QRect(298, 61, 72, 20),
                        Qt::AlignRight | Qt::AlignVCenter);

    ValumePanel = new QWidget(Panel5);
    ValumePanel->setGeometry(374, 57, 163, 29);
    SpeedButton19 = makeSpeedButton(ValumePanel, QRect(0, 3, 24, 24), QStringLiteral("microphone"),
                                    QString(), tr("录音静音"), true);
    SpeedButton19->setCursor(Qt::PointingHandCursor);
    TrackBar1 = new QSlider(Qt::Horizontal, ValumePanel);
    TrackBar1->setGeometry(26, 3, 135, 24);
    TrackBar1->setRange(0, 100);
    TrackBar1->setValue(80);
    TrackBar1->setTickInterval(1);
    TrackBar1->setToolTip(tr("录音音量"));
    TrackBar1->setAccessibleName(tr("录音音量"));
    Label14->setBuddy(TrackBar1);

    connect(SpeedButton20, &QToolButton::clicked, this, &TForm1::SpeedButton20Click);
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox2Change(); });
    connect(ComboBox1, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox1Change(); });
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(SpeedButton19, &QToolButton::clicked, this, &TForm1::SpeedButton19Click);
}

void TForm1::buildOutputPanel(QWidget *parent)
{
    Panel9 = new QWidget(parent);
    Panel9->setObjectName(QStringLiteral("Panel9"));
    Panel9->setFixedHeight(m_panel9Height);
    SpeedButton11 = makeSpeedButton(Panel9, QRect(4, 3, 100, 22), QStringLiteral("collapse"),
                                    tr("输出设置 "), QString(), true);
    Label12 = makeLabel(QString(), Panel9, QRect(110, 4, 435, 20));
    setFontColour(Label12, SummaryGrey);

    Label4 =
        makeLabel(tr("输出格式:"), Panel9, QRect(8, 35, 80, 20), Qt::AlignRight | Qt::AlignVCenter);
    ComboBox3 = new QComboBox(Panel9);
    ComboBox3->setGeometry(92, 34, 200, 22);
    ComboBox3->addItems(options::formatTexts());
    ComboBox3->setCurrentIndex(0);
    ComboBox3->setAccessibleName(tr("输出格式"));
    Label4->setBuddy(ComboBox3);
    SpeedButton22 = makeSpeedButton(Panel9, QRect(300, 33, 80, 24), QStringLiteral("settings"),
                                    tr("设置..."), QString());
    Label9 =
        makeLabel(tr("采样率:"), Panel9, QRect(8, 67, 80, 20), Qt::AlignRight | Qt::AlignVCenter);
    ComboBox4 = new QComboBox(Panel9);
    ComboBox4->setGeometry(92, 66, 260, 22);
    ComboBox4->addItems(options::allRateTexts());
    ComboBox4->setCurrentIndex(-1);
    ComboBox4->setAccessibleName(tr("采样率"));
    Label9->setBuddy(ComboBox4);
    Label10 =
        makeLabel(tr("声道:"), Panel9, QRect(8, 99, 80, 20), Qt::AlignRight | Qt::AlignVCenter);
    ComboBox5 = new QComboBox(Panel9);
    ComboBox5->setGeometry(92, 98, 200, 22);
    ComboBox5->addItems(QStringList{options::monoText(), options::stereoText()});
    ComboBox5->setCurrentIndex(0);
    ComboBox5->setAccessibleName(tr("声道"));
    Label10->setBuddy(ComboBox5);

    connect(SpeedButton11, &QToolButton::clicked, this, &TForm1::SpeedButton11Click);
    connect(SpeedButton22, &QToolButton::clicked, this, &TForm1::SpeedButton22Click);
    connect(ComboBox3, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox3Change(); });
    connect(ComboBox4, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox4Change(); });
    connect(ComboBox5, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox5Change(); });
}

void TForm1::buildFilePanel(QWidget *parent)
{
    Panel6 = new QWidget(parent);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    Panel6->setFixedHeight(m_panel6Height);
    SpeedButton1 = makeSpeedButton(Panel6, QRect(4, 3, 110, 22), QStringLiteral("collapse"),
                                   tr("文件管理器   "), QString(), true);
    Label11 = makeLabel(QString(), Panel6, QRect(120, 4, 425, 20));
    setFontColour(Label11, SummaryGrey);

    Panel4 = new QWidget(Panel6);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(0, 28, 553, 254);
    Label5 = makeLabel(tr("输出文件夹:"), Panel4, QRect(8, 3, 80, 20),
                       Qt::AlignRight | Qt::AlignVCenter);
    Edit1 = new QLineEdit(Panel4);
    Edit1->setGeometry(92, 2, 390, 22);
    Edit1->setReadOnly(true);
    Edit1->setAccessibleName(tr("输出文件夹"));
    Label5->setBuddy(Edit1);
    SpeedButton6 = makeSpeedButton(Panel4, QRect(486, 1, 26, 24), QStringLiteral("folder"),
                                   QString(), tr("选择输出文件夹"));
    SpeedButton6->setText(QStringLiteral("..."));
    SpeedButton6->setToolTip(tr("选择输出文件夹"));
    SpeedButton7 = makeSpeedButton(Panel4, QRect(514, 1, 26, 24), QStringLiteral("open"), QString(),
                                   tr("打开输出文件夹"));
    SpeedButton7->setObjectName(QStringLiteral("SpeedButton7"));
    SpeedButton7->setToolTip(tr("打开输出文件夹"));

    ListView1 = new QTreeWidget(Panel4);
    ListView1->setGeometry(8, 28, 432, 188);
    ListView1->setColumnCount(5);
    ListView1->setHeaderLabels({tr("文件名"), tr("日期"), tr("持续时间"), tr("大小"), tr("状态")});
    const int widths[] = {120, 110, 60, 60, 70};
    for (int i = 0; i < 5; ++i)
        ListView1->setColumnWidth(i, widths[i]);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->setIconSize(QSize(16, 16));
    ListView1->setItemDelegate(new RecordingRowDelegate(ListView1));
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setAccessibleName(tr("录音文件列表"));
    ListView1->installEventFilter(this);

    // The file buttons stand to the right of the list.
    auto fileButton = [this](int y, const QString &icon, const QString &caption) {
        auto *button = makeSpeedButton(Panel4, QRect(446, y, 100, 26), icon, caption, QString());
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        return button;
    };
    SpeedButton8 = fileButton(28, QStringLiteral("open"), tr("打开  "));
    SpeedButton8->setGeometry(446, 28, 84, 26);
    SpeedButton9 = makeSpeedButton(Panel4, QRect(530, 28, 16, 26), QStringLiteral("dropdown"),
                                   QString(), tr("更多文件操作"));
    SpeedButton2 = fileButton(58, QStringLiteral("delete"), tr(" 删除   "));
    SpeedButton3 = fileButton(88, QStringLiteral("saveas"), tr("另存为..."));
    SpeedButton5 = fileButton(118, QStringLiteral("mail"), tr("邮件到... "));

    Panel3 = new QWidget(Panel4);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(0, 220, 553, 32);
    auto playButton = [this](int x, const QString &icon, const QString &name, bool sticky) {
        auto *button = makeSpeedButton(Panel3, QRect(x, 4, 26, 24), icon, QString(), name, sticky);
        button->setToolTip(name);
        return button;
    };
    SpeedButton21 = playButton(8, QStringLiteral("play"), tr("播放"), true);
    SpeedButton12 = playButton(36, QStringLiteral("pause"), tr("暂停播放"), true);
    SpeedButton13 = playButton(64, QStringLiteral("stop"), tr("停止播放"), false);
    SpeedButton14 = playButton(96, QStringLiteral("first"), tr("第一个"), false);
    SpeedButton15 = playButton(124, QStringLiteral("previous"), tr("上一个"), false);
    SpeedButton16 = playButton(152, QStringLiteral("next"), tr("下一个"), false);
    SpeedButton17 = playButton(180, QStringLiteral("last"), tr("最后一个"), false);
    TrackBar2 = new QSlider(Qt::Horizontal, Panel3);
    TrackBar2->setGeometry(212, 4, 190, 24);
    TrackBar2->setRange(0, 0);
    TrackBar2->setAccessibleName(tr("播放位置"));
    setUpSeekBar();
    SpeedButton18 = playButton(408, QStringLiteral("speaker"), tr("播放静音"), true);
    TrackBar3 = new QSlider(Qt::Horizontal, Panel3);
    TrackBar3->setGeometry(436, 4, 110, 24);
    TrackBar3->setRange(0, 100);
    TrackBar3->setValue(70);
    TrackBar3->setToolTip(tr("播放音量"));
    TrackBar3->setAccessibleName(tr("播放音量"));
    for (QWidget *w : Panel3->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        w->setEnabled(false);
    setFileButtonsEnabled(false);

    StatusBar1 = new QStatusBar(Panel6);
    StatusBar1->setGeometry(0, 282, 553, 22);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setAccessibleName(tr("文件统计"));

    connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(SpeedButton6, &QToolButton::clicked, this, &TForm1::SpeedButton6Click);
    connect(SpeedButton7, &QToolButton::clicked, this, &TForm1::SpeedButton7Click);
    buildFileActions();
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &TForm1::ListView1ColumnClick);
    // The keyboard and assistive technology select rows without a click.
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::ListView1Click);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });
    // The sticky buttons show the playback's state; a click acts on that state,
    // whatever the click did to the button.
    connect(SpeedButton21, &QToolButton::clicked, this, &TForm1::SpeedButton21Click);
    connect(SpeedButton12, &QToolButton::clicked, this, &TForm1::SpeedButton12Click);
    connect(SpeedButton18, &QToolButton::clicked, this, &TForm1::SpeedButton18Click);
    connect(SpeedButton13, &QToolButton::clicked, this, &TForm1::SpeedButton13Click);
    connect(SpeedButton14, &QToolButton::clicked, this, &TForm1::SpeedButton14Click);
    connect(SpeedButton15, &QToolButton::clicked, this, &TForm1::SpeedButton15Click);
    connect(SpeedButton16, &QToolButton::clicked, this, &TForm1::SpeedButton16Click);
    connect(SpeedButton17, &QToolButton::clicked, this, &TForm1::SpeedButton17Click);
    connect(TrackBar3, &QSlider::valueChanged, this, &TForm1::TrackBar3Change);
    connect(TrackBar2, &QSlider::valueChanged, this, &TForm1::TrackBar2Change);
    connect(TrackBar2, &QSlider::sliderReleased, this, &TForm1::TrackBar2Released);
}

// ---------------------------------------------------------------------------
// Start-up

QString TForm1::configPath() const
{
    return ProjectDirs::instance().AppDir() + QStringLiteral("Config.ini");
}

void TForm1::FormCreate()
{
    // Per-format rate and channel lists.
    buildFormatLists();

    // Full heights recorded, all three sections collapsed.
    m_panel5Height = Panel5->height();
    m_panel9Height = Panel9->height();
    m_panel6Height = Panel6->height();
    for (QWidget *panel : {Panel5, Panel9, Panel6})
        panel->setFixedHeight(CollapsedHeight);
    fitHeight();

    // The stored settings; the device and input are the input session's to find.
    Config = settings::Settings(configPath());
    Config.load();
    createInputSession();

    // The window shows at once what needs no sound server: the output settings, the
    // section summaries and the recordings. The device lists, the input's level, the
    // status line and the monitor follow as the input session finds them.
    loadOutputSettings();
    showSectionSummaries();
    LoadFileTypeIcons();
    RefreshRecordingList();
    setModeIndicator(StatusMode::Detector);
    // The input's level is not known yet: no bar rather than a wrong one.
    ValumePanel->hide();

    // Spectrum drawer.
    Spectrum = std::make_unique<recording::TSpectrum>(PaintFrame->width(), PaintFrame->height());
    Spectrum->BackgroundColor = QColor(0, 0, 0);
    Spectrum->BarColor = QColor(0, 255, 0);
    Spectrum->PeakColor = QColor(255, 255, 0);
    Spectrum->DrawMode = 1;
    Spectrum->BinStep = 1;
    // 20 and 60 pixels a second at PosTimer's ten frames a second.
    Spectrum->PeakFall = 2;
    Spectrum->BarFall = 6;
    Spectrum->ShowPeaks = true;
    Spectrum->BarWidth = 3;
    Spectrum->MaxBarHeight = 80;

    // Dates are written as 2014-1-18 everywhere (see library::dateText).

    if (!m_options.deferToFirstPaint)
        startAudio();
}

void TForm1::startAudio()
{
    if (m_audioStarted)
        return;
    m_audioStarted = true;
    // The input monitor opens with the detector on, as soon as there is an input.
    Label8->setText(QStringLiteral("00:00:00"));
    setFontColour(Label8, Green);
    setFontColour(Label2, Lime);
    setFontColour(Label3, Green);
    setFontColour(Label7, Green);
    setPlainStyle(Label15, false);
    Input->openMonitor();
    Input->start();
    createTrayIcon();
}

void TForm1::showSectionSummaries()
{
    // The three sections start collapsed with their summaries.
    DevicesOpen = OutputOpen = FilesOpen = false;
    showDeviceSection();
    showOutputSection();
    showFileSection();
}

void TForm1::createTrayIcon()
{
    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setPicture(4);
    TrayIcon1->setShowHint(true);
    // The tool-tip names the click that brings the window back on this desktop.
    TrayIcon1->setToolTip(TrayIcon1->restoresOnSingleClick()
                              ? tr("单击这里显示      \nSonalto 窗口  ")
                              : tr("双击这里显示      \nSonalto 窗口  "));
    connect(TrayIcon1, &TTrayIcon::restoreRequested, this, &TForm1::ShowWindowClick);
    connect(TrayIcon1->ShowWindow1, &QAction::triggered, this, &TForm1::ShowWindowClick);
    connect(TrayIcon1->Record1, &QAction::triggered, this, [this] { ToolButton1->click(); });
    connect(TrayIcon1->Pause2, &QAction::triggered, this, [this] { ToolButton2->click(); });
    connect(TrayIcon1->Stop2, &QAction::triggered, this, [this] { ToolButton3->click(); });
    connect(TrayIcon1->Exit2, &QAction::triggered, this, &TForm1::Exit1Click);
    // The tray's menu follows the recording's state, whenever it is made.
    const bool idle = Recording->state() == recording::RecordingSession::State::Idle;
    TrayIcon1->Record1->setEnabled(idle);
    TrayIcon1->Pause2->setEnabled(Recording->isRecording());
    TrayIcon1->Stop2->setEnabled(Recording->isRecording());
    TrayIcon1->setVisible(true);
}

void TForm1::setGeneralOptionForm(TGeneralOptionForm *form)
{
    GeneralOptionForm = form;
    connect(form, &TGeneralOptionForm::saved, this, &TForm1::applyGeneralOptions);
    connect(form, &TGeneralOptionForm::audioDirChanged, this, [this] {
        clearNotice(Notice::OutputFolder);
        Edit1->setText(ProjectDirs::instance().AudioDir());
        RefreshRecordingList();
    });
    applyGeneralOptions();
}

void TForm1::applyGeneralOptions()
{
    if (!GeneralOptionForm)
        return;
    OutputBaseName = GeneralOptionForm->baseName();
    MinitoTray = GeneralOptionForm->minitoTray();
}

void TForm1::fitHeight()
{
    centralWidget()->adjustSize();
    adjustSize();
    setFixedSize(553, sizeHint().height());
    // A section opened near the bottom of the screen must not push the window's
    // lower part out of sight.
    if (isVisible() && screen()) {
        const QRect area = screen()->availableGeometry();
        const QRect frame = frameGeometry();
        if (frame.bottom() > area.bottom())
            move(x(), std::max(area.top(), area.bottom() - frame.height() + 1));
    }
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
    // A window that is not painted soon (started iconified, on another
    // desktop) must not wait for its sound server, tray icon and hot keys.
    if (m_options.deferToFirstPaint && !m_painted)
        QTimer::singleShot(FirstPaintWaitMs, this, &TForm1::firstPaintDone);
}

bool TForm1::event(QEvent *event)
{
    if (event->type() == QEvent::Paint && !m_painted)
        QTimer::singleShot(0, this, &TForm1::firstPaintDone);
    return QMainWindow::event(event);
}

void TForm1::firstPaintDone()
{
    if (m_painted)
        return;
    m_painted = true;
    afterFirstPaint();
}

void TForm1::showLastTake()
{
    // A take the program finished while it was ending last time.
    const auto end = recording::TakeJournal(ProjectDirs::instance().AppDir()).take();
    if (!end)
        return;
    const QString fileName = QFileInfo(end->path).fileName();
    if (!end->failure.isEmpty()) {
        showMessage(tr("上次退出时：") +
                    recording::takeFailedText(end->failure, fileName, end->saved));
    } else if (end->saved) {
        showNotice(Notice::LastTake, tr("上次退出时正在录制的 %1 已保存").arg(fileName));
    }
}

void TForm1::afterFirstPaint()
{
    // The window's own picture is drawn by the window manager; rendering it for
    // the window's properties waits until the window has been painted.
    setWindowIcon(appIcon(QStringLiteral("sonalto")));
    // The workers first, then what runs here.
    if (!m_lengthsToRead.isEmpty() && DurationProbe)
        DurationProbe->probe(std::exchange(m_lengthsToRead, {}));
    if (m_options.deferToFirstPaint) {
        InstallHook();
        startAudio();
    }
    checkWmaEncoder();
    showLastTake();
    emit firstPainted();
}

void TForm1::checkWmaEncoder()
{
    // Opens the codec libraries on a worker, so that the first playback,
    // recording or length does not wait for them, and asks them for the encoder.
    QPointer<TForm1> window(this);
    QThreadPool::globalInstance()->start([window] {
        const bool wma = audio::loadCodecLibraries() && audio::WmaWriter::available(44100, 2);
        QMetaObject::invokeMethod(
            qApp,
            [window, wma] {
                if (window && !wma)
                    window->showMessage(tr("无法找到 WMA 编码器"));
            },
            Qt::QueuedConnection);
    });
}

void TForm1::FormShow()
{
    if (!m_options.deferToFirstPaint || m_painted)
        InstallHook();
    ListView1ColumnClick(1);
    PaintFrame->update();
}

void TForm1::activateFromSecondInstance()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TForm1::startHidden()
{
    firstPaintDone();
}

// ---------------------------------------------------------------------------
// Settings

void TForm1::loadOutputSettings()
{
    // Positions the format's lists do not hold (or unreadable ones) show the format's
    // default; the stored value stays as it is until the user picks another.
    const int format = Config.outputFormat.value();
    ComboBox3->setCurrentIndex(format);
    FillRateAndChannelLists();
    const int rate = Config.sampleRate.value();
    if (rate >= 0 && rate < ComboBox4->count())
        ComboBox4->setCurrentIndex(rate);
    const int channels = Config.channels.value();
    if (channels >= 0 && channels < ComboBox5->count())
        ComboBox5->setCurrentIndex(channels);
    SpeedButton22->setVisible(OutputOpen && format == 0);
    applyOutputValues();

    const QString audioDir = ProjectDirs::instance().AudioDir();
    if (!QDir(audioDir).exists())
        QDir().mkpath(audioDir);
    Edit1->setText(audioDir);
}

void TForm1::showMissingOutputFolder(const QString &stored)
{
    showNotice(
        Notice::OutputFolder,
        tr("找不到输出文件夹 %1，录音暂存到 %2").arg(stored, ProjectDirs::instance().AudioDir()));
}

void TForm1::saveSettings()
{
    QString error;
    if (Config.save(&error) || m_settingsFailureSaid)
        return;
    // Said once a run: the changes stay chosen, and a later save tries again.
    m_settingsFailureSaid = true;
    showMessage(tr("设置无法保存到 ") + Config.path() + QStringLiteral("\n\n") + error);
}

// ---------------------------------------------------------------------------
// Shutdown

void TForm1::Exit1Click()
{
    ExitRequested = true;
    close();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery()) {
        event->accept();
        QCoreApplication::quit();
    } else {
        event->ignore();
    }
}

bool TForm1::FormCloseQuery()
{
    // Minimise to the tray, when there is a tray to come back from.
    if (!ExitRequested && MinitoTray) {
        if (TrayIcon1 && TTrayIcon::hostAvailable()) {
            hide();
            TrayIcon1->setVisible(true);
            return false;
        }
        // No notification area: hiding would leave the window beyond reach, so
        // the close goes through the exit questions instead.
    }
    const QString caption = tr("注意");
    // A pending schedule.
    if (Timer2->isActive()) {
        if (!askQuestion(tr("Schedule is running.\n\nDo you want to stop it and Exit now?"),
                         caption))
            return false;
    }
    // A recording in progress (one being finished completes before the end).
    if (IsRecording) {
        if (!askQuestion(tr("一个文件正在进行录制\n\n你是否想立即停止并退出程序？        "),
                         caption))
            return false;
        ToolButton3->click();
    }
    // A file playing.
    if (isPlaying()) {
        if (!askQuestion(tr("A file is Playing.\n\nDo you want to stop it and Exit now?"), caption))
            return false;
        Playback->stop(recording::PlaybackSession::StopReason::User);
    }
    Playback->stop(recording::PlaybackSession::StopReason::Closed); // a paused one too
    // Accepted: the hook is removed and the settings saved.
    RemoveHook();
    saveSettings();
    if (TrayIcon1)
        TrayIcon1->setVisible(false);
    return true;
}

// ---------------------------------------------------------------------------
// Help menu

void TForm1::HelpFile1Click()
{
    const QString path = helpIndexPath(QCoreApplication::applicationDirPath());
    if (!QFileInfo::exists(path)) {
        showMessage(tr("找不到帮助文件: ") + path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TForm1::About1Click()
{
    if (BuyForm)
        BuyForm->exec();
}

void TForm1::Submitquestionbug1Click()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("mailto:") + SupportMail + QStringLiteral("?subject=Sonalto")));
}

void TForm1::SonaltoWebSite1Click()
{
    QDesktopServices::openUrl(QUrl(ProductPage));
}

void TForm1::KestrovaOtherSoftware1Click()
{
    QDesktopServices::openUrl(QUrl(MakerPage));
}

// ---------------------------------------------------------------------------
// Messages

void TForm1::showMessage(const QString &text)
{
    ShownMessages << text;
    if (!m_options.showMessages)
        return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Sonalto"), text, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.exec();
}

bool TForm1::askQuestion(const QString &text, const QString &caption)
{
    ShownMessages << text;
    if (!m_options.showMessages)
        return AutoAnswerOk;
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    isVisible() ? this : nullptr);
    return box.exec() == QMessageBox::Ok;
}

void TForm1::setStatusText(const QString &text)
{
    StatusText = text;
    showStatusLine();
}

void TForm1::showNotice(Notice notice, const QString &text)
{
    Notices.removeIf([notice](const auto &n) { return n.first == notice; });
    Notices.append({notice, text});
    showStatusLine();
}

void TForm1::clearNotice(Notice notice)
{
    if (Notices.removeIf([notice](const auto &n) { return n.first == notice; }) > 0)
        showStatusLine();
}

void TForm1::showStatusLine()
{
    const QString text = Notices.isEmpty() ? StatusText : Notices.last().second;
    Label15->setText(text);
    Label15->setToolTip(Notices.isEmpty() ? QString() : text);
}

// ---------------------------------------------------------------------------
// Events

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete) {
            SpeedButton2Click();
            return true;
        }
        if (key->key() == Qt::Key_Space) {
            // Pauses what plays, else plays (or resumes) the selected row.
            if (isPlaying())
                SpeedButton12Click();
            else
                SpeedButton21Click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::setModeIndicator(StatusMode mode)
{
    Mode = mode;
    QLabel *label = mode == StatusMode::Recording  ? Label3
                    : mode == StatusMode::Playback ? Label7
                                                   : Label2;
    Image1->move(225, label->y() + 3);
    Image1->setVisible(mode != StatusMode::DetectorOff);
    // The marker and the colours say which mode is active; a screen reader is told
    // in words.
    const QString active = tr("当前模式");
    const bool shown = mode != StatusMode::DetectorOff;
    for (QLabel *l : {Label3, Label7})
        l->setAccessibleDescription(shown && l == label ? active : QString());
    const QString detector = tr("打开或关闭声音检测");
    Label2->setAccessibleDescription(shown && label == Label2 ? active + tr("；") + detector
                                                              : detector);
}

void TForm1::setModeIndicator(QLabel *label)
{
    setModeIndicator(label == Label3   ? StatusMode::Recording
                     : label == Label7 ? StatusMode::Playback
                                       : StatusMode::Detector);
}

} // namespace sonalto
