#include "app/NoticeLine.h"

#include "chain/Chain.h"
#include "session/Session.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

namespace tolvex::app {

namespace {

constexpr int padX = 14;
constexpr int padY = 8;
constexpr int radius = 8;
constexpr int widest = 560;
constexpr int sideRoom = 24;

} // namespace

NoticeLine::NoticeLine(session::Session& session, chain::Chain& chain, QWidget* parent)
    : QWidget(parent), m_session(session), m_chain(chain),
      m_opacity(new QGraphicsOpacityEffect(this)),
      m_animation(new QPropertyAnimation(m_opacity, "opacity", this))
{
    setObjectName(QStringLiteral("notice"));
    setCursor(Qt::PointingHandCursor);
    m_opacity->setOpacity(0);
    setGraphicsEffect(m_opacity);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QPropertyAnimation::finished, this, [this] {
        if (m_text.isEmpty())
            hide();
    });
    m_chainTimer.setSingleShot(true);
    m_chainTimer.setTimerType(Qt::PreciseTimer); // never early
    m_chainTimer.setInterval(4000);
    connect(&m_chainTimer, &QTimer::timeout, this, &NoticeLine::clearChainMessage);
    connect(&session, &session::Session::toastChanged, this, &NoticeLine::refresh);
    connect(&chain, &chain::Chain::lastErrorChanged, this, &NoticeLine::chainMessageChanged);
    hide();
    chainMessageChanged(chain.lastError());
}

void NoticeLine::setDurations(int chainMessage, int fade)
{
    m_chainTimer.setInterval(chainMessage);
    m_fade = fade;
}

void NoticeLine::chainMessageChanged(const QString& message)
{
    // The timer belongs to the newest message: a change restarts it.
    m_timedMessage = message;
    if (message.isEmpty())
        m_chainTimer.stop();
    else
        m_chainTimer.start();
    refresh();
}

void NoticeLine::clearChainMessage()
{
    if (m_chain.lastError() == m_timedMessage)
        m_chain.setLastError(QString());
}

void NoticeLine::refresh()
{
    const QString toast = m_session.toast();
    const QString text = toast.isEmpty() ? m_chain.lastError() : toast;
    if (text == m_text)
        return;
    m_text = text;
    if (text.isEmpty()) {
        fadeTo(0);
        return;
    }
    m_shownText = text;
    place();
    update();
    show();
    raise();
    fadeTo(1);
}

void NoticeLine::fadeTo(qreal opacity)
{
    m_animation->stop();
    if (m_fade <= 0 || m_opacity->opacity() == opacity) {
        m_opacity->setOpacity(opacity);
        if (opacity == 0)
            hide();
        return;
    }
    m_animation->setDuration(m_fade);
    m_animation->setStartValue(m_opacity->opacity());
    m_animation->setEndValue(opacity);
    m_animation->start();
}

QRect NoticeLine::textRect(int maxWidth) const
{
    return fontMetrics().boundingRect(QRect(0, 0, maxWidth, 10000),
                                      Qt::AlignCenter | Qt::TextWordWrap, m_shownText);
}

QSize NoticeLine::sizeHint() const
{
    int maxWidth = widest;
    if (parentWidget())
        maxWidth = std::min(maxWidth, parentWidget()->width() - 2 * sideRoom - 2 * padX);
    const QRect text = textRect(std::max(maxWidth, 80));
    return text.size() + QSize(2 * padX, 2 * padY);
}

void NoticeLine::place()
{
    if (!parentWidget())
        return;
    const QSize size = sizeHint();
    const QRect room = parentWidget()->rect();
    setGeometry((room.width() - size.width()) / 2, room.height() - lift - size.height(),
                size.width(), size.height());
}

void NoticeLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.92f);
    QColor edge = palette().color(QPalette::WindowText);
    edge.setAlphaF(0.18f);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(shape, fill);
    painter.setPen(QPen(edge, 1));
    painter.drawPath(shape);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(padX, padY, -padX, -padY), Qt::AlignCenter | Qt::TextWordWrap,
                     m_shownText);
}

void NoticeLine::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    m_session.showToast(QString());
    m_chain.setLastError(QString());
}

} // namespace tolvex::app
