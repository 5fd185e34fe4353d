// WaveformStrip: the whole recording's envelope in a strip under the window, with the playing
// place, the A-B section and the pauses of speech; a click seeks, the wheel zooms.
#pragma once

#include <QImage>
#include <QRgb>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QPainter;
namespace lyt {
class RecordingAnalysis;
struct EnvelopeStep;
}

// Runs on the window's thread only. The envelope is asked of the analysis, which never makes the
// caller wait; while it is still being worked out a timer polls its progress (every 100 ms, only
// while the strip is shown) and the strip fills in as it goes.
class WaveformStrip : public QWidget {
  Q_OBJECT
public:
  static constexpr double kNarrowestSeconds = 10.0;
  // The playing place's line and the shading of a pause, over a black ground; the envelope is
  // green and the A-B section tinted aqua.
  static constexpr QRgb kPlaceColour = 0xFFFF4040;
  static constexpr QRgb kPauseColour = 0xFF24345C;

  explicit WaveformStrip(QWidget *parent = nullptr);

  // Where the loaded recording's analysis is found each time the strip draws: nothing held, so a
  // recording that is replaced leaves nothing stale behind. Null while there is none.
  std::function<const lyt::RecordingAnalysis *()> analysis;
  // Where the sound is and the A-B section (an empty range, to <= from, when there is none), in
  // seconds of the recording; asked at every poll.
  struct Marks {
    double placeSeconds = 0;
    double sectionFromSeconds = 0;
    double sectionToSeconds = 0;
  };
  std::function<Marks()> marks;
  // A click asks for the sound to go to that place (seconds of the recording).
  std::function<void(double seconds)> onSeek;

  // A new recording: the whole of it in view.
  void setRecording(double lengthSeconds);
  // Brings the strip up to date at once, as the timer does: the marks, and the envelope as far as
  // it has been worked out.
  void poll();

  double viewStart() const { return viewStart_; }
  double viewEnd() const { return viewStart_ + viewSpan_; }
  // The column that shows a place of the recording, and the place that a column shows.
  int columnOf(double seconds) const;
  double secondsAt(double x) const;

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void setPlace(double seconds);
  void setSection(double fromSeconds, double toSeconds);
  void setView(double start, double span);
  // Redraws the picture behind the playing place: shading, section and envelope.
  void drawBackground();
  void shade(QPainter &painter, double fromSeconds, double toSeconds, const QColor &colour) const;
  // The first `columnCount` columns.
  void drawEnvelope(QPainter &painter, const std::vector<lyt::EnvelopeStep> &columns, int columnCount) const;

  QTimer progress_;
  QImage background_;
  bool backgroundValid_ = false;
  size_t drawnSteps_ = 0;
  const lyt::RecordingAnalysis *drawnFrom_ = nullptr;
  bool drawnReady_ = false;
  double lengthSeconds_ = 0;
  double viewStart_ = 0;
  double viewSpan_ = 0;
  double place_ = 0;
  double sectionFrom_ = 0;
  double sectionTo_ = 0;
};
