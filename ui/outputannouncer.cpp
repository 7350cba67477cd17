#include "outputannouncer.h"

#include <QApplication>
#include <QWidget>

using namespace Qt::StringLiterals;

OutputAnnouncer::OutputAnnouncer(std::function<QString(const QWidget *focus)> excerpt,
                                 QWidget *window)
    : QObject(window)
    , m_excerpt(std::move(excerpt))
    , m_notice(new QWidget(window))
{
    m_notice->setObjectName(QString::fromUtf16(NoticeName));
    m_notice->setGeometry(0, 0, 1, 1); // paints nothing: a plain widget has no background
    m_notice->setFocusPolicy(Qt::NoFocus);
    m_notice->hide();
    m_pause.setSingleShot(true);
    m_pause.setInterval(PauseMs);
    connect(&m_pause, &QTimer::timeout, this, &OutputAnnouncer::announce);
}

OutputAnnouncer::~OutputAnnouncer() = default;

void OutputAnnouncer::outputChanged()
{
    m_pause.start();
}

void OutputAnnouncer::announce()
{
    const QWidget *focus = QApplication::focusWidget();
    const QString words = focus ? m_excerpt(focus) : QString();
    if (words.isEmpty() || words == m_announced)
        return;
    m_announced = words;
    m_notice->setAccessibleName(words);
    // Appearing is what the screen reader announces.
    m_notice->hide();
    m_notice->show();
}

QString announcementOf(const QString &output, bool fromEnd)
{
    if (output.isEmpty())
        return u"Applied text: empty"_s;
    if (output.size() <= AnnouncedLength)
        return u"Applied text: "_s + output;
    // Cut between characters, never inside a surrogate pair.
    if (fromEnd) {
        qsizetype start = output.size() - AnnouncedLength;
        if (output.at(start).isLowSurrogate())
            ++start;
        return u"Applied text: …"_s + output.mid(start);
    }
    qsizetype end = AnnouncedLength;
    if (output.at(end).isLowSurrogate())
        --end;
    return u"Applied text: "_s + output.left(end) + u'…';
}
