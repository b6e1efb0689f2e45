#pragma once

#include <QLabel>

namespace sonalto {

// A one-line label whose text, when too long, is cut at its end with "…". The
// full text stays its text() and is its tool-tip and accessible description, so
// nothing of it is lost to the pointer or to assistive technology.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    void setText(const QString &text);
    // What is drawn: the text as far as it fits.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace sonalto
