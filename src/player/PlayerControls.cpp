// The player's controls: the transport buttons, the three sliders with their
// labels, and the playback timer, built and wired.
#include "Player.h"
#include "shared/NamedLabel.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSizePolicy>
#include <QSlider>
#include <QTimer>

namespace qm {

namespace {

// Mouse presses and releases on the position slider: the press starts a drag
// that the timer leaves alone, the release ends it and seeks.
class PositionMouse : public QObject {
public:
    PositionMouse(Player& player, QObject* parent) : QObject(parent), m_player(player) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            m_player.SliderPosition_MouseDown();
        } else if (event->type() == QEvent::MouseButtonRelease && m_player.positionDrag) {
            m_player.SliderPosition_MouseUp();
            m_player.SliderPosition_Click();
        }
        return false;
    }

private:
    Player& m_player;
};

} // namespace

Player::Player(AudioLibrary& audio, Dialogs& dialogs, WindowState& state, QWidget* owner)
    : QObject(owner), m_audio(audio), m_dialogs(dialogs), m_state(state), m_owner(owner)
{
    BuildControls(owner);

    for (int i : {0, 1, 2, 8})
        connect(cmdButton[static_cast<std::size_t>(i)], &QPushButton::clicked, this, [this, i] { cmdButton_Click(i); });
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

// The controls are made in the window and laid out by the track list frame,
// which takes them into its frame.
void Player::BuildControls(QWidget* owner)
{
    SliderVolume = new QSlider(Qt::Vertical, owner);
    SliderVolume->setObjectName(QStringLiteral("SliderVolume"));
    SliderVolume->setRange(-100, 0);
    SliderVolume->setInvertedAppearance(true); // -100 (loudest) at the top
    SliderVolume->setPageStep(1);
    SliderVolume->setSingleStep(10);
    SliderVolume->setTickPosition(QSlider::TicksBothSides);
    SliderVolume->setTickInterval(100);

    SliderBalance = new QSlider(Qt::Horizontal, owner);
    SliderBalance->setObjectName(QStringLiteral("SliderBalance"));
    SliderBalance->setRange(-100, 100);
    SliderBalance->setPageStep(10);
    SliderBalance->setSingleStep(1);
    SliderBalance->setTickPosition(QSlider::TicksBelow);
    SliderBalance->setTickInterval(10);
    SliderBalance->setMinimumWidth(90);

    SliderPosition = new QSlider(Qt::Horizontal, owner);
    SliderPosition->setObjectName(QStringLiteral("SliderPosition"));
    SliderPosition->setRange(0, 10000);
    SliderPosition->setPageStep(1000);
    SliderPosition->setSingleStep(100);
    SliderPosition->setTickPosition(QSlider::TicksBelow);
    SliderPosition->setTickInterval(500);

    lblVolume = NamedLabel(QString(), owner, "lblVolume");
    lblVolume->setAlignment(Qt::AlignCenter);
    lblVolume->setMinimumWidth(lblVolume->fontMetrics().horizontalAdvance(QStringLiteral("Volume : 10")) + 4);
    lblBalance = NamedLabel(QString(), owner, "lblBalance");
    lblBalance->setMinimumWidth(lblBalance->fontMetrics().horizontalAdvance(QStringLiteral("-100")) + 4);
    lblTrackPosition = NamedLabel(QString(), owner, "lblTrackPosition");
    lblTrackPosition->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTrackPosition->setMinimumWidth(
        lblTrackPosition->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 / 00:00:00")) + 4);

    static const char* const captions[9] = {"&Play", "P&ause/Resume", "&Stop", nullptr, nullptr,
                                            nullptr, nullptr, nullptr, "&Fade Out"};
    for (int i : {0, 1, 2, 8}) {
        auto* button = new QPushButton(QString::fromLatin1(captions[i]), owner);
        // As narrow as the caption allows, so the balance slider keeps its room.
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text().remove(QLatin1Char('&'))) + 20);
        button->setObjectName(QStringLiteral("cmdButton[%1]").arg(i));
        cmdButton[static_cast<std::size_t>(i)] = button;
    }

    auto* volume = new QVBoxLayout;
    volume->addWidget(SliderVolume, 1, Qt::AlignHCenter);
    volume->addWidget(lblVolume);
    m_volumeGroup = volume;

    auto* position = new QHBoxLayout;
    position->addWidget(SliderPosition, 1);
    position->addWidget(lblTrackPosition);
    m_positionGroup = position;

    auto* controls = new QHBoxLayout;
    controls->addWidget(NamedLabel(QStringLiteral("Balance"), owner, "lblBalanceCaption"));
    controls->addWidget(SliderBalance, 1);
    controls->addWidget(lblBalance);
    controls->addSpacing(6);
    for (int i : {0, 1, 2, 8})
        controls->addWidget(cmdButton[static_cast<std::size_t>(i)]);
    m_controlsGroup = controls;
}

} // namespace qm
