// TfrmMain: the designed layout of the main window, its menus, and the wiring of its handlers.
#include "U_Main.h"

#include "Player.h"

#include "ClickLabel.h"
#include "PedalMonitor.h"
#include "RecordingAnalysis.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "spectrum_vis.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

std::array<TrackBar *, 6> EqBandSliders{};
TfrmMain *frmMain = nullptr;

namespace {

constexpr int kClientWidth = 314;
constexpr int kClientHeight = 198;

template <typename W> W *place(W *widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

QFont pixelFont(int pixels) {
  QFont font;
  font.setPixelSize(pixels);
  return font;
}

QLabel *counterLabel(QWidget *parent, const QColor &color) {
  auto *label = new QLabel(QStringLiteral("00:00:00 / 00:00:00"), parent);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Sunken);
  label->setAutoFillBackground(true);
  QFont font(QStringLiteral("Noto Sans CJK JP"));
  font.setPixelSize(12);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

} // namespace

static void loadImageResources() {
  Q_INIT_RESOURCE(lystrel2);
}

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent), ThePlayer(new Player(*this, this)), Channel(ThePlayer->state.Channel),
      IsMusic(ThePlayer->state.IsMusic), Playing(ThePlayer->state.Playing), RepeatState(ThePlayer->state.RepeatState) {
  loadImageResources();
  setWindowTitle(QStringLiteral("Lystrel2"));
  setWindowIcon(QIcon::fromTheme(QStringLiteral("lystrel2"), QIcon(QStringLiteral(":/lystrel2.svg"))));
  setFont(pixelFont(12)); // the four menus fit the narrow window
  setObjectName(QStringLiteral("TfrmMain"));
  ClientArea = new QWidget(this);
  ClientArea->setFixedSize(kClientWidth, kClientHeight);
  ClientArea->setFont(pixelFont(11));
  setCentralWidget(ClientArea);
  createMenus();
  createControls();
  createEffectControls();
  createWaveform();
  connectHandlers();
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setAcceptDrops(true);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::createMenus() {
  MainMenu1 = menuBar();
  MainMenu1->setStyleSheet(QStringLiteral("QMenuBar::item { padding: 2px 3px; }"));
  File1 = MainMenu1->addMenu(tr("ファイル(&F)"));
  Open1 = File1->addAction(tr("開く(&O)..."));
  RecentFiles1 = File1->addMenu(tr("最近使ったファイル(&R)"));
  ClearRecent1 = new QAction(tr("一覧を消去(&C)"), this); // kept while the list is filled anew
  File1->addSeparator();
  Exit1 = File1->addAction(tr("終了(&X)"));
  Player1 = MainMenu1->addMenu(tr("プレーヤ(&P)"));
  MnItmCopyCounter = Player1->addAction(tr("カウンタコピー(&C)"));
  MnItmSetCounter = Player1->addAction(tr("カウンタ指定(&P)..."));
  A1 = Player1->addAction(tr("リピートA点の指定(&A)"));
  B1 = Player1->addAction(tr("リピートB点の指定(&B)"));
  A1->setCheckable(true);
  B1->setCheckable(true);
  Option1 = MainMenu1->addMenu(tr("オプション(&O)"));
  N1 = Option1->addAction(tr("設定(&S)..."));
  ItemWaveform = Option1->addAction(tr("波形(&W)"));
  ItemWaveform->setCheckable(true);
  Help1 = MainMenu1->addMenu(tr("ヘルプ(&H)"));
  HelpIndex1 = Help1->addAction(tr("目次とキーワード(&C)"));
  About1 = Help1->addAction(tr("バージョン情報(&A)..."));

  PopupMenu1 = new QMenu(this);
  ItemTopMost = PopupMenu1->addAction(tr("常に手前に表示"));
  N4 = PopupMenu1->addSeparator();
  ItemFullMode = PopupMenu1->addAction(tr("フル モード"));
  ItemDspCntMode = PopupMenu1->addAction(tr("カウンタ表示モード"));
  for (QAction *item : {ItemTopMost, ItemFullMode, ItemDspCntMode})
    item->setCheckable(true);
  createClarityItems();
}

void TfrmMain::createControls() {
  QWidget *c = ClientArea;
  FileInformation = place(new QLabel(c), 8, 2, 300, 15);
  FileInformation->setFrameShape(QFrame::Panel);
  FileInformation->setFrameShadow(QFrame::Sunken);

  hsPosition = place(new TrackBar(Qt::Horizontal, c), 2, 20, 310, 24);
  hsPosition->setMax(0);

  Panel1 = place(new QFrame(c), 13, 58, 101, 47);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Shape1 = place(new QWidget(Panel1), 1, 1, 99, 45);
  Shape1->setAutoFillBackground(true);
  QPalette black = Shape1->palette();
  black.setColor(QPalette::Window, Qt::black);
  Shape1->setPalette(black);
  PaintFrame = place(new PaintBox(Panel1), 1, 1, 99, 45);
  // Over the spectrum's corner, while something makes the sound clearer.
  lblClarity = place(new QLabel(Panel1), 2, 34, 97, 11);
  lblClarity->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblClarity->setStyleSheet(QStringLiteral("color: #00ffff; background: transparent;"));
  lblClarity->hide();

  SpdBtn_PlayStop = place(new SpeedButton(true, c), 122, 58, 28, 22);
  SpdBtn_PlayStop->setToolTip(tr("再生／停止"));
  SpdBtn_Reset = place(new SpeedButton(false, c), 152, 58, 28, 22);
  SpdBtn_Reset->setToolTip(tr("リセット"));
  SpdBtn_RepStart = place(new SpeedButton(true, c), 122, 83, 28, 20);
  SpdBtn_RepStart->setText(QStringLiteral("A"));
  SpdBtn_RepEnd = place(new SpeedButton(true, c), 152, 83, 28, 20);
  SpdBtn_RepEnd->setText(QStringLiteral("B"));

  lblPosition2 = place(counterLabel(c, QColor(0x60, 0xCB, 0xFF)), 186, 56, 120, 14);
  lblPosition = place(counterLabel(c, QColor(0x80, 0xFF, 0x00)), 186, 74, 120, 14);

  for (QWidget *perFile : std::initializer_list<QWidget *>{SpdBtn_PlayStop, SpdBtn_Reset, hsPosition,
                                                           SpdBtn_RepStart, SpdBtn_RepEnd})
    perFile->setEnabled(false);

  Timer_Pos = new QTimer(this);
  Timer_Pos->setInterval(1000);
  Timer_RenderTimer = new QTimer(this);
  Timer_RenderTimer->setInterval(10);
}

void TfrmMain::createEffectControls() {
  QWidget *c = ClientArea;
  const QFont small = pixelFont(10);
  const auto caption = [&](const QString &text, int left, int top, int width, int height) {
    auto *label = place(new ClickLabel(text, c), left, top, width, height);
    label->setFont(small);
    return label;
  };
  const auto value = [&](const QString &text, int left, int top, int width, int height) {
    auto *label = caption(text, left, top, width, height);
    label->setAlignment(Qt::AlignCenter);
    return label;
  };

  Label4 = caption(tr("速度 ="), 190, 116, 34, 11);
  lblTempo = value(QStringLiteral("1.00"), 225, 116, 30, 11);
  lblTempo->setToolTip(tr("クリックするとテンポを1.0倍に設定"));
  Label5 = caption(tr("倍"), 256, 116, 14, 11);
  tbTempo = place(new TrackBar(Qt::Horizontal, c), 159, 129, 150, 17);
  tbTempo->setRange(-10, 10);
  Label_speed = caption(QStringLiteral("|"), 184, 124, 5, 7);

  Label6 = caption(tr("音程 = "), 157, 150, 35, 10);
  lblPitch = value(QStringLiteral("0"), 192, 150, 33, 10);
  lblPitch->setToolTip(tr("click to set Pitch Scaling to 0 semitones"));
  tbPitch = place(new TrackBar(Qt::Horizontal, c), 152, 172, 65, 17);
  tbPitch->setRange(-5, 5);
  Label_pitch = caption(QStringLiteral("|"), 182, 164, 5, 7);

  Label8 = caption(tr("音量 ="), 248, 150, 34, 10);
  lblVolume = value(QStringLiteral("50"), 282, 150, 33, 10);
  tbVolume = place(new TrackBar(Qt::Horizontal, c), 229, 172, 80, 17);
  tbVolume->setRange(0, 100);
  tbVolume->setPosition(50);
  Label_volume = caption(QStringLiteral("|"), 267, 164, 5, 7);

  tbTempo->setEnabled(false);
  tbPitch->setEnabled(false);

  lblEqualizer = caption(tr("イコライザ"), 42, 108, 60, 11);
  static constexpr int kEqLeft[6] = {12, 34, 56, 78, 100, 122};
  static const char *const kEqLabels[6] = {"120", "200", "400", "1.2K", "4K", "10K"};
  std::array<QLabel *, 6> labels{};
  for (int band = 0; band < 6; ++band) {
    auto *slider = place(new TrackBar(Qt::Vertical, c), kEqLeft[band], 120, 16, 62);
    slider->setRange(0, 19);
    slider->setPosition(10);
    slider->setObjectName(QStringLiteral("tbEQBand%1").arg(band));
    auto *label =
        place(new ClickLabel(QString::fromUtf8(kEqLabels[band]), c), kEqLeft[band] - 4, 185, 24, 10);
    label->setFont(pixelFont(9));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    labels[band] = label;
  }
  Label1 = caption(QStringLiteral("━━━━━━━━━"), 8, 146, 134, 10);
  Label1->lower();
  lbl120Hz = labels[0], Lbl200Hz = labels[1], Lbl400Hz = labels[2];
  Lbl1200Hz = labels[3], Lbl4KHz = labels[4], Lbl10KHz = labels[5];
  tbEQBand0 = c->findChild<TrackBar *>(QStringLiteral("tbEQBand0"));
  tbEQBand1 = c->findChild<TrackBar *>(QStringLiteral("tbEQBand1"));
  tbEQBand2 = c->findChild<TrackBar *>(QStringLiteral("tbEQBand2"));
  tbEQBand3 = c->findChild<TrackBar *>(QStringLiteral("tbEQBand3"));
  tbEQBand4 = c->findChild<TrackBar *>(QStringLiteral("tbEQBand4"));
  tbEQBand5 = c->findChild<TrackBar *>(QStringLiteral("tbEQBand5"));
}

void TfrmMain::connectHandlers() {
  connect(Open1, &QAction::triggered, this, &TfrmMain::Open1Click);
  connect(Exit1, &QAction::triggered, this, &TfrmMain::Exit1Click);
  connect(RecentFiles1, &QMenu::aboutToShow, this, &TfrmMain::FillRecentMenu);
  connect(ClearRecent1, &QAction::triggered, this, &TfrmMain::ClearRecent1Click);
  connect(MnItmCopyCounter, &QAction::triggered, this, posted(&TfrmMain::CopyCounter));
  connect(MnItmSetCounter, &QAction::triggered, this, posted(&TfrmMain::EnterCounter));
  connectCheckItem(A1, posted(&TfrmMain::A1Click));
  connectCheckItem(B1, posted(&TfrmMain::B1Click));
  connect(N1, &QAction::triggered, this, &TfrmMain::N1Click);
  connect(HelpIndex1, &QAction::triggered, this, &TfrmMain::HelpIndex1Click);
  connect(About1, &QAction::triggered, this, &TfrmMain::About1Click);
  connectCheckItem(ItemTopMost, [this] { ItemTopMostClick(); });
  connectCheckItem(ItemWaveform, [this] { ItemWaveformClick(); });
  connectCheckItem(ItemFullMode, [this] { ItemFullModeClick(); });
  connectCheckItem(ItemDspCntMode, [this] { ItemDspCntModeClick(); });
  connect(Timer_Pos, &QTimer::timeout, this, &TfrmMain::Timer_PosTimer);
  connect(Timer_RenderTimer, &QTimer::timeout, this, &TfrmMain::Timer_RenderTimerTimer);

  SpdBtn_PlayStop->onClick = posted(&TfrmMain::SpdBtn_PlayStopClick);
  SpdBtn_Reset->onClick = posted(&TfrmMain::SpdBtn_ResetClick);
  SpdBtn_RepStart->onClick = posted(&TfrmMain::SpdBtn_RepStartClick);
  SpdBtn_RepEnd->onClick = posted(&TfrmMain::SpdBtn_RepEndClick);
  hsPosition->onChange = [this] { hsPositionChange(); };
  // The readout and the play button follow what the player announces, whichever door asked for it.
  connect(ThePlayer, &Player::jumped, this, [this](qint64 microseconds) {
    if (!ThumbTracking)
      UpdatePositionLabel(static_cast<int32_t>(microseconds / 1000000));
  });
  connect(ThePlayer, &Player::stateChanged, this, [this](bool playing) { SpdBtn_PlayStop->setDown(playing); });
  tbTempo->onChange = [this] { tbTempoChange(); };
  tbPitch->onChange = [this] { tbPitchChange(); };
  tbVolume->onChange = [this] { tbVolumeChange(); };
  for (ClickLabel *label : {static_cast<ClickLabel *>(lblTempo), static_cast<ClickLabel *>(Label4),
                            static_cast<ClickLabel *>(Label5)})
    label->onClick = [this] { lblTempoClick(); };
  for (ClickLabel *label : {static_cast<ClickLabel *>(lblPitch), static_cast<ClickLabel *>(Label6)})
    label->onClick = [this] { lblPitchClick(); };
  for (ClickLabel *label : {static_cast<ClickLabel *>(lblVolume), static_cast<ClickLabel *>(Label8)})
    label->onClick = [this] { lblVolumeClick(); };
  const std::array<TrackBar *, 6> bands{tbEQBand0, tbEQBand1, tbEQBand2, tbEQBand3, tbEQBand4, tbEQBand5};
  const std::array<QLabel *, 6> bandLabels{lbl120Hz, Lbl200Hz, Lbl400Hz, Lbl1200Hz, Lbl4KHz, Lbl10KHz};
  for (int band = 0; band < 6; ++band) {
    bands[band]->onChange = [this, band] { tbEQBandChange(band); };
    static_cast<ClickLabel *>(bandLabels[band])->onClick = [this, band] { EqLabelClick(band); };
  }
}

// A checkable menu item toggles its own mark when chosen; the handlers set the marks themselves.
void TfrmMain::connectCheckItem(QAction *item, std::function<void()> handler) {
  connect(item, &QAction::triggered, this, [item, handler = std::move(handler)] {
    item->setChecked(!item->isChecked());
    handler();
  });
}

// What a transport control asks runs from the player's queue, in order with the keys, the pedals
// and MPRIS: the window's own controls are doors like the others.
std::function<void()> TfrmMain::posted(void (TfrmMain::*handler)()) {
  return [this, handler] { ThePlayer->post([this, handler] { (this->*handler)(); }); };
}

void TfrmMain::contextMenuEvent(QContextMenuEvent *event) {
  PopupMenu1->exec(event->globalPos());
}

void TfrmMain::closeEvent(QCloseEvent *event) {
  FormDestroy();
  event->accept();
}
