// The desktop doors on a private session bus: the shortcut portal (a fake one) and MPRIS (through
// a client of its own), both driving the real main window.
#include "AudioProp.h"
#include "CommonTypes.h"
#include "FakePortal.h"
#include "KeyBindingTab.h"
#include "MainWindowFixture.h"
#include "Mpris.h"
#include "PortalShortcuts.h"
#include "SpeedButton.h"
#include "TrackBar.h"
#include "support/AudioFiles.h"
#include "support/Signals.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sndfile.h>

using namespace lyt::test;

namespace {

constexpr int32_t F9 = 0x78, A = 0x41;

class Portal : public MainWindowTest {
protected:
  void open() {
    start(quietTone(90));
    KeyMap.slot(1) = {ModCtrl | ModShift, F9, 1};
    KeyMap.slot(15) = {ModAlt, A, 15};
    window->OpenDoors();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.listed > 0 && window->DesktopShortcuts->bound(); }));
  }
  QString line() const { return frmAudioProp->TabSheet6->LabelDesktopShortcut->text(); }
  FakePortal portal;
};

TEST_F(Portal, BindsEverySlotWithACommandAsSlotNWithItsKeys) {
  portal.assign.insert(QStringLiteral("slot-15"), QStringLiteral("LOGO+v"));
  open();
  ASSERT_EQ(portal.bound.size(), 2);
  EXPECT_EQ(portal.bound[0].id, QStringLiteral("slot-1"));
  EXPECT_EQ(portal.bound[0].properties.value(QStringLiteral("preferred_trigger")), QStringLiteral("CTRL+SHIFT+F9"));
  EXPECT_EQ(portal.bound[0].properties.value(QStringLiteral("description")), QStringLiteral("play-stop"));
  EXPECT_EQ(portal.bound[1].id, QStringLiteral("slot-15"));
  EXPECT_EQ(portal.bound[1].properties.value(QStringLiteral("preferred_trigger")), QStringLiteral("ALT+a"));
  EXPECT_EQ(line(), QStringLiteral("デスクトップのショートカット: CTRL+SHIFT+F9")) << "the first command is selected";
  frmAudioProp->TabSheet6->ListBoxFunc->setCurrentRow(14);
  frmAudioProp->TabSheet6->ListBoxFuncClick();
  EXPECT_EQ(line(), QStringLiteral("デスクトップのショートカット: LOGO+v")) << "the desktop's own choice is shown";
  portal.changeTrigger(QStringLiteral("slot-15"), QStringLiteral("LOGO+w"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return line() == QStringLiteral("デスクトップのショートカット: LOGO+w"); }));
}

TEST_F(Portal, ActivatedPressesAndDeactivatedReleasesInBothModes) {
  open();
  portal.activate(QStringLiteral("slot-15"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->tbVolume->Position() == 60; }));

  Settings.NonLockMode = true;
  portal.activate(QStringLiteral("slot-1"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Playing == 1; })) << "held: plays";
  portal.deactivate(QStringLiteral("slot-1"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Playing == 0; })) << "let go: stops";

  Settings.NonLockMode = false;
  portal.activate(QStringLiteral("slot-1"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Playing == 1; }));
  portal.deactivate(QStringLiteral("slot-1"));
  portal.activate(QStringLiteral("slot-15"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->tbVolume->Position() == 70; }));
  EXPECT_EQ(window->Playing, 1) << "without the non-lock mode the release does nothing";
  portal.activate(QStringLiteral("slot-1"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->Playing == 0; }));
}

TEST_F(Portal, SavingChangedKeysBindsThemAnew) {
  open();
  QTimer::singleShot(0, [] {
    KeyBindingTab *keys = frmAudioProp->TabSheet6;
    keys->EditKeyMap.slot(2) = {ModCtrl, 0x71, 2};
    QTest::mouseClick(frmAudioProp->BtnWavePropOK, Qt::LeftButton);
  });
  window->N1Click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return portal.bound.size() == 3; }));
  EXPECT_EQ(portal.bound[1].properties.value(QStringLiteral("preferred_trigger")), QStringLiteral("CTRL+F2"));
  EXPECT_EQ(portal.sessionsCreated, 2);
  EXPECT_EQ(portal.sessionsClosed, 1) << "the old session was closed";
}

TEST_F(Portal, ARefusalIsShownAndTheWindowKeepsWorking) {
  portal.refuse = true;
  start(quietTone(90));
  KeyMap.slot(15) = {ModAlt, A, 15};
  window->OpenDoors();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->DesktopShortcuts->problem().isEmpty(); }));
  EXPECT_TRUE(line().contains(QStringLiteral("拒否"))) << line().toStdString();
  EXPECT_TRUE(frmAudioProp->TabSheet6->LabelDesktopShortcut->isVisibleTo(frmAudioProp->TabSheet6));
  window->SlotKeyEvent(15, false);
  runPosted();
  EXPECT_EQ(window->tbVolume->Position(), 60) << "the hook's keys still act";
  window->SpdBtn_PlayStop->click();
  runPosted();
  EXPECT_EQ(window->Playing, 1) << "and so do the buttons";
}

TEST_F(Portal, APortalThatLeavesIsShown) {
  open();
  portal.vanish();
  EXPECT_TRUE(QTest::qWaitFor([&] { return line().contains(QStringLiteral("終了")); })) << line().toStdString();
  EXPECT_FALSE(window->DesktopShortcuts->bound());
}

// Every property that a PropertiesChanged signal has carried, with its latest value.
class PropertyRecorder : public QObject {
  Q_OBJECT
public:
  QVariantMap seen;
public Q_SLOTS:
  void record(const QDBusMessage &message) {
    const QVariantMap changed = qdbus_cast<QVariantMap>(message.arguments().value(1));
    for (auto it = changed.cbegin(); it != changed.cend(); ++it)
      seen.insert(it.key(), it.value());
  }
};

// An MPRIS client on a connection of its own, asking as a panel or playerctl would.
class Mpris : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Settings.RevSec = 3;
    start(quietTone(90));
    window->OpenDoors();
    client.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"), &changes, SLOT(record(QDBusMessage)));
  }
  void TearDown() override {
    MainWindowTest::TearDown();
    QDBusConnection::disconnectFromBus(client.name());
  }
  QDBusMessage call(const QString &interface, const QString &method, const QList<QVariant> &arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = client.asyncCall(message);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }));
    return pending.reply();
  }
  QDBusMessage player(const QString &method, const QList<QVariant> &arguments = {}) {
    return call(playerInterface, method, arguments);
  }
  QVariant get(const QString &name, const QString &interface = playerInterface) {
    const QDBusMessage reply =
        call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }
  void set(const QString &name, const QVariant &value) {
    call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
         {playerInterface, name, QVariant::fromValue(QDBusVariant(value))});
  }
  // Whether a PropertiesChanged signal has carried `name` with `value`.
  bool announced(const QString &name, const QVariant &value) {
    return QTest::qWaitFor([&] { return changes.seen.contains(name) && changes.seen.value(name) == value; });
  }

  static inline const QString service = QStringLiteral("org.mpris.MediaPlayer2.lystrel2");
  static inline const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
  static inline const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
  QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("mpris-client"));
  PropertyRecorder changes;
};

TEST_F(Mpris, TheRootNamesThePlayer) {
  EXPECT_EQ(get(QStringLiteral("Identity"), QStringLiteral("org.mpris.MediaPlayer2")), QStringLiteral("Lystrel2"));
  EXPECT_EQ(get(QStringLiteral("DesktopEntry"), QStringLiteral("org.mpris.MediaPlayer2")), QStringLiteral("lystrel2"));
}

TEST_F(Mpris, PlayPauseGoesThroughThePlayButtonWithItsRewind) {
  const QVariantMap metadata = qdbus_cast<QVariantMap>(get(QStringLiteral("Metadata")));
  EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 90'000'000);
  const QString name = QFileInfo(QString::fromStdString(quietTone(90))).fileName();
  EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")), name);
  EXPECT_TRUE(metadata.value(QStringLiteral("xesam:url")).toString().endsWith(QLatin1Char('/') + name));
  const QDBusObjectPath track = qdbus_cast<QDBusObjectPath>(metadata.value(QStringLiteral("mpris:trackid")));
  EXPECT_EQ(get(QStringLiteral("CanSeek")), true);

  player(QStringLiteral("SetPosition"), {QVariant::fromValue(track), static_cast<qlonglong>(30'000'000)});
  runPosted();
  EXPECT_EQ(window->hsPosition->Position(), 30);
  EXPECT_NEAR(get(QStringLiteral("Position")).toLongLong() / 1e6, 30.0, 0.01);
  player(QStringLiteral("Seek"), {static_cast<qlonglong>(5'000'000)});
  runPosted();
  EXPECT_EQ(window->hsPosition->Position(), 35);

  player(QStringLiteral("PlayPause"));
  runPosted();
  EXPECT_EQ(window->Playing, 1);
  EXPECT_TRUE(window->SpdBtn_PlayStop->Down());
  EXPECT_TRUE(announced(QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")));
  player(QStringLiteral("PlayPause"));
  runPosted();
  EXPECT_EQ(window->Playing, 0);
  EXPECT_EQ(window->hsPosition->Position(), 32) << "a stop rewinds by RevSec";
  EXPECT_TRUE(announced(QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")));
  player(QStringLiteral("Stop"));
  runPosted();
  EXPECT_EQ(window->hsPosition->Position(), 32) << "stopping when stopped changes nothing";
}

TEST_F(Mpris, TheUrlOfANameThatIsNotUtf8SpellsItsBytes) {
  const std::string file = scratchPath("d\xe9part 1.wav");
  writeBytes(file, readBytes(quietTone(90)));
  window->OpenMediaFile(file);
  const QVariantMap metadata = qdbus_cast<QVariantMap>(get(QStringLiteral("Metadata")));
  const QString url = metadata.value(QStringLiteral("xesam:url")).toString();
  EXPECT_TRUE(url.startsWith(QStringLiteral("file:///"))) << url.toStdString();
  EXPECT_TRUE(url.endsWith(QStringLiteral("/d%E9part%201.wav"))) << url.toStdString();
}

TEST_F(Mpris, EveryJumpOfThePlayerIsSeekedAndEdgeValuesDoWhatTheStandardSays) {
  QList<qlonglong> seeked;
  QObject::connect(window->Mpris, &MprisService::Seeked, [&](qlonglong at) { seeked.append(at); });
  window->hsPosition->setPosition(20);
  window->SpdBtn_PlayStop->setDown(true);
  window->SpdBtn_PlayStopClick();
  window->SpdBtn_PlayStop->setDown(false);
  window->SpdBtn_PlayStopClick();
  ASSERT_FALSE(seeked.isEmpty());
  EXPECT_EQ(seeked.last(), 17'000'000) << "the rewind of a stop";

  const QDBusObjectPath track =
      qdbus_cast<QDBusObjectPath>(qdbus_cast<QVariantMap>(get(QStringLiteral("Metadata"))).value(QStringLiteral("mpris:trackid")));
  player(QStringLiteral("SetPosition"), {QVariant::fromValue(track), static_cast<qlonglong>(12'700'000)});
  runPosted();
  player(QStringLiteral("Seek"), {static_cast<qlonglong>(5'000'000)});
  runPosted();
  EXPECT_NEAR(get(QStringLiteral("Position")).toLongLong() / 1e6, 17.7, 0.001) << "by the exact offset";
  EXPECT_NEAR(seeked.last(), 17'700'000, 1000);
  for (qlonglong outside : {qlonglong{-1}, qlonglong{91'000'000}}) {
    player(QStringLiteral("SetPosition"), {QVariant::fromValue(track), outside});
    runPosted();
    EXPECT_NEAR(get(QStringLiteral("Position")).toLongLong() / 1e6, 17.7, 0.001) << "outside the track: ignored";
  }
  player(QStringLiteral("Play"));
  runPosted();
  ASSERT_EQ(window->Playing, 1);
  set(QStringLiteral("Rate"), 0.0);
  runPosted();
  EXPECT_EQ(window->Playing, 0) << "a rate of 0 pauses";
  EXPECT_EQ(window->tbTempo->Position(), 0) << "and leaves the speed";
}

TEST_F(Mpris, RateAndVolumeAreTheSliders) {
  set(QStringLiteral("Rate"), 2.0);
  runPosted();
  EXPECT_EQ(window->tbTempo->Position(), 100);
  EXPECT_TRUE(announced(QStringLiteral("Rate"), 2.0));
  set(QStringLiteral("Rate"), 9.0);
  runPosted();
  EXPECT_EQ(get(QStringLiteral("Rate")), 4.0) << "held at the slider's bound";
  set(QStringLiteral("Volume"), 0.3);
  runPosted();
  EXPECT_EQ(window->tbVolume->Position(), 30);
  EXPECT_TRUE(announced(QStringLiteral("Volume"), 0.3));
  window->tbVolume->setPosition(80);
  EXPECT_TRUE(announced(QStringLiteral("Volume"), 0.8)) << "a change in the window is announced too";
}

} // namespace

#include "DoorsTest.moc"
