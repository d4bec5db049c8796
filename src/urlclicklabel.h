// Declares UrlClickLabel, a label that opens a web page when clicked.
#pragma once

#include <QLabel>
#include <QString>

class UrlClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit UrlClickLabel(QWidget *parent = nullptr);

    void setUrl(const QString &url);
    QString url() const { return m_url; }

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_url;
};
