#pragma once

#include "app/ClickLabel.h"
#include "app/ElidedLabel.h"
#include "audio/AudioEngine.h"
#include "audio/Encoders.h"
#include "hotkeys/HookLibrary.h"
#include "hotkeys/HotKeyList.h"
#include "recording/InputLevelMeter.h"
#include "recording/InputSession.h"
#include "recording/PlaybackSession.h"
#include "recording/RecordingSession.h"
#include "scheduler/ScheduleCheck.h"
#include "settings/Settings.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QLineEdit;
class QMenu;
class QSlider;
class QStatusBar;
class QThread;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace sonalto {

namespace recording {
class TSpectrum;
}
namespace library {
class DurationProber;
struct ProbedDuration;
} // namespace library
class SpectrumBox;
class LevelMeterBox;
class TBuyForm;
class TTrayIcon;
class TGeneralOptionForm;
class TAudioOptionForm;
class TKeyOptionForm;
class TScheduleForm;
class TMp3Form;

// A read-only view of the recording session's state under the flag names the rest of
// the window uses; the session's state value is the only one there is.
class RecordingFlag
{
public:
    using Test = bool (recording::RecordingSession::*)() const;
    RecordingFlag(recording::RecordingSession *const *session, Test test)
        : m_session(session), m_test(test)
    {
    }
    operator bool() const { return *m_session && ((*m_session)->*m_test)(); }

private:
    recording::RecordingSession *const *m_session;
    Test m_test;
};

// The main window. Owns all run-time state of the program: the input monitor's
// capture channel, the recording session (a take's channel and encoders), the
// playback stream, the recording parameters and the list's sort state. It maps
// that state onto its controls.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    // The audio backend is normally the system's; tests hand in their own (or
    // none, to act as if no sound server could be reached).
    struct Options
    {
        std::unique_ptr<audio::AudioBackend> backend;
        bool useSystemBackend = true;
        // How the input session looks for a missing server and announces a silent one.
        int serverRetryMs = 1000;
        int serverNoticeMs = 1500;
        // What the first picture of the window does not need waits until it has
        // been painted: the audio layer (the device and input lists, the status
        // line and the input monitor fill in a moment later), reading the
        // recordings' lengths (it opens the codec libraries), the tray icon and
        // the global hot keys. The program sets this; a window never shown
        // needs it off.
        bool deferToFirstPaint = false;
        bool showMessages = true; // false in tests: messages are only recorded
    };

    explicit TForm1(Options options, QWidget *parent = nullptr);

    // Height of a collapsed section: its header line only.
    static constexpr int CollapsedHeight = 28;
    // How long a shown window waits for its first paint before it starts what
    // waits for it (see Options::deferToFirstPaint).
    static constexpr int FirstPaintWaitMs = 500;
    ~TForm1() override;

    // ---- Controls (public so the dialogs and tests reach them by name) ------
    QMenuBar *MainMenu1 = nullptr;
    QMenu *File1 = nullptr, *Options1 = nullptr, *Help1 = nullptr;
    QAction *Recorder1 = nullptr, *Pause1 = nullptr, *Stop1 = nullptr, *Exit1 = nullptr;
    QAction *GeneralOptions1 = nullptr, *KeybordOptions1 = nullptr;
    QAction *HelpFile1 = nullptr, *Submitquestionbug1 = nullptr, *SonaltoWebSite1 = nullptr,
            *KestrovaOtherSoftware1 = nullptr, *About1 = nullptr;

    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButton1 = nullptr, *ToolButton2 = nullptr, *ToolButton3 = nullptr,
                *ToolButton5 = nullptr, *ToolButton7 = nullptr, *ToolButton10 = nullptr;
    QWidget *Panel11 = nullptr; // schedule panel, shown while a schedule is set
    // Schedule panel rows: "立即" now, "开始" start, "停止" stop.
    QLabel *Label19 = nullptr, *Label16 = nullptr, *Label20 = nullptr, *Label17 = nullptr,
           *Label21 = nullptr, *Label18 = nullptr;

    QWidget *Panel7 = nullptr, *Panel8 = nullptr;
    QLabel *Label8 = nullptr;     // clock
    ClickLabel *Label2 = nullptr; // "检测器", the detector switch
    QLabel *Label3 = nullptr, *Label7 = nullptr;
    QLabel *Image1 = nullptr;       // mode indicator arrow
    ElidedLabel *Label15 = nullptr; // status line
    SpectrumBox *PaintFrame = nullptr;
    LevelMeterBox *InputLevelBar = nullptr; // "输入电平", beside the spectrum
    ClickLabel *ClipWarning = nullptr;      // "削波", shown while lit

    // Device panel
    QWidget *Panel5 = nullptr;
    QToolButton *SpeedButton20 = nullptr;
    QLabel *Label13 = nullptr, *Label1 = nullptr, *Label6 = nullptr, *Label14 = nullptr;
    QComboBox *ComboBox2 = nullptr; // devices
    QComboBox *ComboBox1 = nullptr; // inputs
    QWidget *ValumePanel = nullptr;
    QToolButton *SpeedButton19 = nullptr; // mute
    QSlider *TrackBar1 = nullptr;         // recording volume
    int TrackBar1Tag = 0;                 // the level to return to when mute is released

    // Output settings panel
    QWidget *Panel9 = nullptr;
    QToolButton *SpeedButton11 = nullptr;
    QLabel *Label12 = nullptr, *Label4 = nullptr, *Label9 = nullptr, *Label10 = nullptr;
    QComboBox *ComboBox3 = nullptr, *ComboBox4 = nullptr, *ComboBox5 = nullptr;
    QToolButton *SpeedButton22 = nullptr;

    // File manager
    QWidget *Panel6 = nullptr, *Panel4 = nullptr, *Panel3 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QLabel *Label11 = nullptr, *Label5 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QToolButton *SpeedButton6 = nullptr, *SpeedButton7 = nullptr;
    QTreeWidget *ListView1 = nullptr;
    QToolButton *SpeedButton2 = nullptr, *SpeedButton3 = nullptr, *SpeedButton5 = nullptr,
                *SpeedButton8 = nullptr, *SpeedButton9 = nullptr;
    QToolButton *SpeedButton21 = nullptr, *SpeedButton12 = nullptr, *SpeedButton13 = nullptr,
                *SpeedButton14 = nullptr, *SpeedButton15 = nullptr, *SpeedButton16 = nullptr,
                *SpeedButton17 = nullptr, *SpeedButton18 = nullptr;
    QSlider *TrackBar2 = nullptr; // playback position
    QSlider *TrackBar3 = nullptr; // playback volume
    int TrackBar3Tag = 0;
    QStatusBar *StatusBar1 = nullptr;

    QTimer *Timer1 = nullptr, *Timer2 = nullptr, *Timer3 = nullptr, *PosTimer = nullptr;
    int Timer1Tag = 0; // blink phase while paused
    // Which sections are open; their buttons are down while they are.
    bool DevicesOpen = false, OutputOpen = false, FilesOpen = false;

    // Windows created at start, after this one, by the application.
    TBuyForm *BuyForm = nullptr;
    TAudioOptionForm *AudioOptionForm = nullptr;
    TGeneralOptionForm *GeneralOptionForm = nullptr;
    TKeyOptionForm *KeyOptionForm = nullptr;
    TScheduleForm *ScheduleForm = nullptr;
    // The schedule as last accepted with 确定; the dialog's controls may hold
    // edits that were never accepted.
    scheduler::Schedule ActiveSchedule;
    QWidget *Form2 = nullptr;
    TMp3Form *Mp3Form = nullptr;
    TTrayIcon *TrayIcon1 = nullptr;

    // ---- Run-time state -------------------------------------------------------
    // The user's settings of this window, as stored and as chosen since.
    settings::Settings Config;
    // The sound server, the devices and inputs, the input's level and the input
    // monitor (the capture channel between recordings; a take's lives in the
    // recording session). It owns the audio layer, which the sessions below use.
    recording::InputSession *Input = nullptr;
    // Playback of a recording: holds the playback stream. Destroyed before the
    // input session, whose audio layer it uses.
    std::unique_ptr<recording::PlaybackSession> Playback;
    std::unique_ptr<recording::TSpectrum> Spectrum;
    QImage FrozenPicture;
    recording::InputLevelMeter InputLevel;

    recording::RecordingSession *Recording = nullptr;
    RecordingFlag IsRecording{&Recording, &recording::RecordingSession::isRecording};
    RecordingFlag IsPaused{&Recording, &recording::RecordingSession::isPaused};
    // How long finishing a take waits for an encoder that stopped taking audio or does
    // not exit, before it is stopped and the take reported as failed.
    int EncoderFinishWaitMs = 15000;
    QString OutputBaseName = QStringLiteral("0");
    int OutputRate = 44100;
    int OutputChannels = 2;
    bool ExitRequested = false;
    bool MinitoTray = true;
    int SortColumn = 0;
    std::array<int, 5> SortAscending{};
    // Per-format rate and channel lists, built once at start: item texts and the rate in
    // Hz of each rate item.
    struct FormatLists
    {
        QStringList rates, channels;
        QList<int> rateHz;
    };
    std::array<FormatLists, 4> FormatRateLists;

    // Messages shown (also kept when they are not shown, for tests).
    QStringList ShownMessages;
    // Answer given to questions when messages are not shown (tests).
    bool AutoAnswerOk = true;

    // ---- Hot keys ---------------------------------------------------------------
    hotkeys::HotKeyList HotKeys; // entry 0 record, 1 stop, 2 pause/resume
    std::unique_ptr<hotkeys::HookLibrary> KeyHook;
    bool LoadHotKeys();
    // Sets the hook with the hot-key list; returns the combinations another
    // program already owns, by name (also shown on the status line).
    QStringList InstallHook();
    void showTakenHotKeys(const QStringList &taken);
    static QString takenHotKeysText(const QStringList &taken);
    void RemoveHook();
    void ToolButton7Click();
    // A report of the keyboard hook: virtual-key code, keystroke flags (bit 31:
    // released) and the modifiers held with the key (1 Ctrl, 2 Alt, 4 Shift).
    void HotKeyReport(int key, unsigned int flags, int modifiers);

    // ---- Start-up and shutdown ------------------------------------------------
    void FormCreate();
    void FormShow();
    void Exit1Click();
    void HelpFile1Click();
    void About1Click();
    void Submitquestionbug1Click();
    void SonaltoWebSite1Click();
    void KestrovaOtherSoftware1Click();
    void activateFromSecondInstance();
    // Starts what the first paint would start (the audio layer, the tray icon,
    // the dialogs) for a window that stays hidden in the tray.
    void startHidden();
    // Takes the general options dialog created after this window: its base name
    // and tray flag, and its folder changes.
    void setGeneralOptionForm(TGeneralOptionForm *form);
    void applyGeneralOptions();
    // The stored output folder is not there (a drive not plugged in): the recordings
    // go to the folder in use, and the status line says so; the setting stays.
    void showMissingOutputFolder(const QString &stored);
    QString configPath() const;
    // Writes what the user chose; a failure is said once, with its reason.
    void saveSettings();
    // The stored output format, rate, channels and folder shown and applied.
    void loadOutputSettings();
    void fitHeight();

    // ---- Devices and inputs ---------------------------------------------------
    void createInputSession();
    void ComboBox2Change();
    void ComboBox1Change();
    void AfterInputChange();
    bool StartMonitor();
    void TrackBar1Change();
    void SpeedButton19Click();
    void SpeedButton20Click();
    void showDeviceSection();
    // The session's state shown: the server, the lists and the input in use, the
    // input's level, the monitor; a failure said with its reason.
    void showServerState();
    void showDevices();
    void showInputLevel();
    void monitorChanged();
    void inputFailed(recording::InputSession::Failure what, const QString &reason);
    // Stores the device and input the user picked.
    void storeInputChoice();
    void updateDeviceSummary();
    QString inputName() const;

    // ---- Output settings ------------------------------------------------------
    void buildFormatLists();
    void FillRateAndChannelLists();
    void ComboBox3Change();
    void ComboBox4Change();
    void ComboBox5Change();
    void SpeedButton11Click();
    void showOutputSection();
    void SpeedButton22Click();
    // OutputRate and OutputChannels from the stored (or chosen) format, rate and channels.
    void applyOutputValues();

    // ---- Recording session ----------------------------------------------------
    void ToolButton1Click();
    void ToolButton2Click();
    void ToolButton3Click();
    void Timer1Timer();
    void StopAndFreeChannels();
    void CloseRecording();
    bool StartRecording();
    // A take that has started: its row at the top, the status line.
    void showNewTake();
    void recordingStartFailed(const QString &message);
    void checkPipeline();
    // The session's state shown on every control that depends on it.
    void recordingStateChanged(recording::RecordingSession::State now,
                               recording::RecordingSession::State before);
    // A take was finished: its row, the status line, and a failure said.
    void takeEnded(const recording::TakeEnd &end);
    recording::TakeSettings takeSettings() const;
    // The capture channel whose audio is shown: the take's, else the monitor's.
    audio::CaptureChannel *shownCaptureChannel() const;
    QString outputFormatExtension(int format) const;
    int outputFormat() const { return Config.outputFormat.value(); }
    void setTrayPicture(int picture);

    // ---- Scheduler and tray ---------------------------------------------------
    void buildSchedulePanel();
    void ToolButton10Click();
    void Timer2Timer();
    // Panel11 and ToolButton10 follow whether the schedule is being checked.
    void showScheduleState();
    void ShowWindowClick();
    bool ScheduleCheckRunning = false;

    // ---- Detector and spectrum ------------------------------------------------
    void Label2Click();
    // The monitor shown as the window's mode: clock, mode labels, status line.
    void showDetecting(const QString &status);
    void Label2MouseEnter();
    void Label2MouseLeave();
    // Where the mode indicator stands: beside "检测器" with the detector on, hidden
    // there with the detector switched off, beside "录制中" or "播放" once a recording
    // or a playback has moved it (it stays there after they end).
    enum class StatusMode { Detector, DetectorOff, Recording, Playback };
    StatusMode Mode = StatusMode::Detector;
    bool detectorOn() const { return Mode == StatusMode::Detector; }
    void PosTimerTimer();
    // A paint of the spectrum box: the frozen or the idle picture where one applies.
    void PaintFramePaint(QImage &picture, const QRect &clip);
    // The input level and clip warning from the capture channel, if it runs.
    void updateInputLevel();
    void clearClipWarning();
    void showClipWarning();
    void FreezeSpectrum();
    void setModeIndicator(StatusMode mode);
    void setModeIndicator(QLabel *label); // the mode of that label

    // ---- Recordings list ------------------------------------------------------
    void RefreshRecordingList();
    // Lengths of the listed files, read in the background after each scan.
    library::DurationProber *DurationProbe = nullptr;
    // A batch of lengths shown in their rows.
    void durationsProbed(const QList<library::ProbedDuration> &lengths);
    void UpdateListSummary();
    void LoadFileTypeIcons();
    // Rows are found by their file's path, never by what a cell shows. A row keeps its
    // path, and whether it is the take being recorded (drawn red), in its first cell.
    static constexpr int PathRole = Qt::UserRole + 2;
    static constexpr int RecordingRole = Qt::UserRole + 3;
    enum class RowStatus { None, Recording, Saved, Play, Pause, Stop };
    QTreeWidgetItem *addRow(int index, const QString &path, const QDateTime &date,
                            std::optional<double> durationSeconds, qint64 sizeBytes,
                            RowStatus status = RowStatus::None);
    void removeRow(QTreeWidgetItem *row);
    QTreeWidgetItem *rowOf(const QString &path) const;
    void setRowDuration(QTreeWidgetItem *item, std::optional<double> seconds);
    // What each take that lost audio lost, by its file's path: its row keeps the
    // report in its tool-tip through every rescan of the folder.
    QHash<QString, QString> LossReports;
    void showLossReport(QTreeWidgetItem *row);
    void setRowSize(QTreeWidgetItem *item, qint64 bytes);
    void ListView1Click();
    void ListView1ColumnClick(int column);
    void sortList();
    void SpeedButton1Click();
    void showFileSection();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void setFileButtonsEnabled(bool enabled);
    QTreeWidgetItem *selectedRow() const;
    QString rowPath(QTreeWidgetItem *item) const;
    RowStatus rowStatus(const QString &path) const;
    void setRowStatus(const QString &path, RowStatus status);
    void clearStatuses();
    QHash<QString, QTreeWidgetItem *> Rows;
    QHash<QString, RowStatus> RowStatuses; // the rows whose status is not empty

    // ---- Playback -------------------------------------------------------------
    void ListView1DblClick();
    void SpeedButton21Click();
    void SpeedButton12Click();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void SpeedButton15Click();
    void SpeedButton16Click();
    void SpeedButton17Click();
    void SpeedButton18Click();
    void TrackBar3Change();
    void Timer3Timer();
    void TrackBar2Change();
    void TrackBar2Released();
    // The position bar set by the program, which is no seek.
    void showPosition(int seconds, int length);
    void showMuteButton();
    // A file is playing or being opened to play (not paused).
    bool isPlaying() const;
    // A file is playing, being opened or paused.
    bool playbackActive() const;
    void createPlaybackSession();
    QTreeWidgetItem *playbackRow() const;
    // The controls that follow the playback's state.
    void showPlaybackButtons();
    void playbackStarted(const QString &path, double lengthSeconds);
    void playbackPaused();
    void playbackResumed();
    void playbackStopped(recording::PlaybackSession::StopReason reason);
    // The file could not be played: the description's words, then why.
    void playbackFailed(const QString &path, const QString &reason);
    void setUpSeekBar();

    // ---- File actions -----------------------------------------------------------
    QMenu *PopupMenu5 = nullptr;
    QAction *OpenFile1 = nullptr, *Openwith2 = nullptr, *OpenFolder2 = nullptr, *Saveas1 = nullptr,
            *mailto1 = nullptr, *Delete1 = nullptr;
    void buildFileActions();
    void SpeedButton8Click(); // open
    void Openwith1Click();    // open with
    // Our own list of the programs registered for the file, when there is no
    // desktop portal to ask.
    void chooseProgramFor(const QString &path, const QString &name);
    void OpenFolder1Click();  // show in the file manager
    void SpeedButton3Click(); // save as
    void SpeedButton5Click();
    // Copies made with 另存为 run on workers, so a long recording copied to a slow
    // disk never holds up the window; it waits for them when it goes.
    QList<QThread *> SaveCopies;
    void copyInBackground(const QString &path, const QString &target); // mail to
    void SpeedButton2Click();                                          // delete to the trash
    // Where Save as asks for the target (tests answer it themselves).
    std::function<QString(const QString &suggested, const QString &filter)> askSaveName;

    // ---- Messages ---------------------------------------------------------------
    void showMessage(const QString &text);
    bool askQuestion(const QString &text, const QString &caption);
    // The status line: what the window is doing, with notices that stay on top of it
    // until what they say no longer holds (or the user starts something new).
    enum class Notice {
        LastTake,
        OutputFolder,
        HotKeyFile,
        HotKeysTaken,
        InputRemoved,
        ServerSilent
    };
    void setStatusText(const QString &text);
    void showNotice(Notice notice, const QString &text);
    void clearNotice(Notice notice);
    void showStatusLine();
    QString StatusText;
    QList<QPair<Notice, QString>> Notices;

signals:
    // Once, when the window has been painted for the first time.
    void firstPainted();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu();
    void buildToolBar();
    void buildStatusArea(QWidget *parent);
    void buildDevicePanel(QWidget *parent);
    void buildOutputPanel(QWidget *parent);
    void buildFilePanel(QWidget *parent);
    void setRecordingControlsEnabled(bool enabled);
    bool FormCloseQuery();
    // Work the first paint does not need, started once it is done, or once the
    // shown window has waited FirstPaintWaitMs for it.
    void firstPaintDone();
    void afterFirstPaint();
    // FormCreate from the audio layer on: started at once, or (when deferred) after
    // the first paint; the lists, the level and the monitor follow as the input
    // session reports them.
    void startAudio();
    void showSectionSummaries();
    void createTrayIcon();
    void checkWmaEncoder();
    // The end of a take the last run finished while it was ending.
    void showLastTake();

    Options m_options;
    int m_panel5Height = 104, m_panel9Height = 136, m_panel6Height = 304;
    bool m_audioStarted = false; // the input session was started
    bool m_painted = false;
    QStringList m_lengthsToRead; // until the first paint (deferToFirstPaint)
    // .mp3, .wma, .ogg, .wav; shared with the list's rows.
    std::shared_ptr<const QList<QIcon>> m_fileTypeIcons;
    bool m_showingVolume = false; // TrackBar1 follows the input: nothing to write
    bool m_serverSaid = false;    // "no server" and "no device" are said once
    bool m_noDeviceSaid = false;
    bool m_inputKnown = false;    // the session has named an input at least once
    bool m_choiceMissing = false; // the user's device or input is not there
    bool m_inputKnownBefore = false;
    bool m_monitorFromDetector = false; // the monitor being opened was asked for by 检测器
    bool m_settingsFailureSaid = false;
    bool m_ending = false; // the window is going: a take's end goes to the journal
    QElapsedTimer m_levelClock;
    bool m_spectrumShown = false; // the box shows the spectrum's last frame
    bool m_clipShown = false;
    bool m_showingPosition = false; // TrackBar2 follows the playback: no seek
};

} // namespace sonalto
