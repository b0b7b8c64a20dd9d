// Wiring of the player's controls: the button array, the list's double click,
// the three sliders and the playback timer.
#include "app/frmMain.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

namespace qm {

namespace {

// Mouse presses and releases on the position slider: the press starts a drag
// that the timer leaves alone, the release ends it and seeks.
class PositionMouse : public QObject {
public:
    PositionMouse(frmMain& window, QObject* parent) : QObject(parent), m_window(window) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            m_window.SliderPosition_MouseDown();
        } else if (event->type() == QEvent::MouseButtonRelease && m_window.positionDrag) {
            m_window.SliderPosition_MouseUp();
            m_window.SliderPosition_Click();
        }
        return false;
    }

private:
    frmMain& m_window;
};

} // namespace

void frmMain::BuildPlayer()
{
    for (int i : {0, 1, 2, 3, 4, 5, 6, 8}) {
        if (QPushButton* button = cmdButton[static_cast<std::size_t>(i)])
            connect(button, &QPushButton::clicked, this, [this, i] { cmdButton_Click(i); });
    }
    connect(lsTracks, &QTreeWidget::itemDoubleClicked, this, [this] { lsTracks_DblClick(); });

    connect(SliderVolume, &QSlider::valueChanged, this, [this] { SliderVolume_Change(); });
    connect(SliderVolume, &QSlider::actionTriggered, this, [this] { SliderVolume_Scroll(); });
    connect(SliderBalance, &QSlider::actionTriggered, this, [this] { SliderBalance_Scroll(); });
    SliderPosition->installEventFilter(new PositionMouse(*this, SliderPosition));
    // Keys and the wheel move the slider without a mouse press; they seek at
    // once. The program's own moves are made with the signals blocked.
    connect(SliderPosition, &QSlider::valueChanged, this, [this] {
        if (!positionDrag)
            SliderPosition_Click();
    });

    SliderVolume_Change();
    lblBalance->setText(QString::number(SliderBalance->value()));
    lblTrackPosition->clear();

    tmrPlaybackPosition = new QTimer(this);
    tmrPlaybackPosition->setObjectName(QStringLiteral("tmrPlaybackPosition"));
    tmrPlaybackPosition->setInterval(50);
    connect(tmrPlaybackPosition, &QTimer::timeout, this, [this] { tmrPlaybackPosition_Timer(); });
}

} // namespace qm
