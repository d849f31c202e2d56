#pragma once

#include <QAbstractButton>
#include <QEasingCurve>

#include <chrono>
#include <functional>

class QVariantAnimation;

namespace quillfern {

// What the button says in each state.
struct CollapseButtonLabel {
    QString symbol;
    QString text;
    QString toolTip;

    bool operator==(const CollapseButtonLabel &) const = default;
};

CollapseButtonLabel collapseButtonLabel(bool expanded, QStringView languageCode);

// How long and with which curve the statistics open and close.
inline constexpr std::chrono::milliseconds statsAnimationDuration{180};
inline const QEasingCurve statsAnimationCurve{QEasingCurve::InOutQuad};

// The quiet button between the statistics and the table, bound to the flag that says whether the
// statistics are expanded. A click writes the opposite of the flag and turns the chevron over.
class StatsCollapseButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(qreal chevronTurn READ chevronTurn WRITE setChevronTurn)

public:
    static constexpr int chevronPixelSize = 11;
    static constexpr int textPixelSize = 12;
    static constexpr int labelGap = 5;
    static constexpr int lineGap = 10;

    explicit StatsCollapseButton(QWidget *parent = nullptr);

    // The flag lives with its owner (the workspace, or the balance page); the button reads and writes it
    // only through these. Call refresh() whenever the owner changes it.
    void bind(std::function<bool()> read, std::function<void(bool)> write);
    bool isExpanded() const;
    void refresh();
    // The language its text, tooltip and accessible name are in ("en-US" until set); they follow at once.
    void setLanguageCode(const QString &languageCode);

    // 0 while expanded (chevron up), 1 while collapsed (chevron down), in between while turning.
    qreal chevronTurn() const { return m_turn; }
    void setChevronTurn(qreal turn);
    QVariantAnimation *animation() const { return m_animation; }
    // Where the chevron and text sit; only this part takes clicks.
    QRect labelRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override;

private:
    void toggle();
    void showState(bool expanded);

    std::function<bool()> m_read;
    std::function<void(bool)> m_write;
    QString m_language = QStringLiteral("en-US");
    qreal m_turn = 0;
    QVariantAnimation *m_animation;
};

// Shows or hides area by animating its height over the statistics duration; hidden at the end.
void revealAnimated(QWidget *area, bool shown);

} // namespace quillfern
