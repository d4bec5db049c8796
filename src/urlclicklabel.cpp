// Defines UrlClickLabel, a label that opens a web page when clicked.
#include "urlclicklabel.h"

#include <QDesktopServices>
#include <QUrl>

UrlClickLabel::UrlClickLabel(QWidget *parent) : QLabel(parent) {}

void UrlClickLabel::setUrl(const QString &url)
{
    m_url = url;
}

void UrlClickLabel::mousePressEvent(QMouseEvent *)
{
    QDesktopServices::openUrl(QUrl(m_url, QUrl::TolerantMode));
}
