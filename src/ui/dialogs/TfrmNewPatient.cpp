#include "TfrmNewPatient.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "WindowPlacement.h"

namespace {
constexpr auto kCreatedPrefix = "Created: ";
}

TfrmNewPatient::TfrmNewPatient(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_status(new QLabel(this)) {
    setObjectName(QStringLiteral("frmNewPatient"));
    setWindowTitle(tr("New Patient"));
    resize(kWidth, kHeight);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignCenter);
    QFont font = m_status->font();
    font.setPixelSize(16);
    font.setBold(true);
    m_status->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(kHideDelay);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void TfrmNewPatient::showCreated(const QString& statusText) {
    // The collector composes the whole announcement; a bare patient text gets its prefix.
    m_status->setText(statusText.startsWith(QLatin1String(kCreatedPrefix))
                          ? statusText
                          : QLatin1String(kCreatedPrefix) + statusText);
    show();
    raise();
    m_hideTimer.start();
}

void TfrmNewPatient::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Over the middle of the main window, not at the screen's corner over its title.
    if (!event->spontaneous())
        WindowPlacement::centreOn(this, parentWidget());
}
