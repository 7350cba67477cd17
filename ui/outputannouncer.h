// Lets a screen reader tell the user what the output has become while they type elsewhere.
//
// The output changes at every keystroke in a key box or the input, but a screen reader speaks
// only what happens to the control that has the focus, and Qt 6.4 can neither mark the output as
// a live region nor send an announcement (and it sends a changed name or description in a form
// that Orca cannot speak). What Orca speaks at once, wherever the focus is, is a notification
// that appears. So, once typing pauses, an invisible notification with a short excerpt of the
// output appears; nothing is said while the output stays the same.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

class OutputAnnouncer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputAnnouncer)

public:
    // excerpt gives the words to announce for the control that has the focus, or an empty
    // string where that control is not one to announce in. The notification is a child of
    // window that paints nothing.
    OutputAnnouncer(std::function<QString(const QWidget *focus)> excerpt, QWidget *window);
    ~OutputAnnouncer() override;

    // The output has changed: announce it once typing pauses.
    void outputChanged();

    // How long typing must pause before the output is announced.
    static constexpr int PauseMs = 400;

    // The object name of the notification, which assistive technologies see in that role.
    static constexpr char16_t NoticeName[] = u"outputNotice";

private:
    void announce();

    std::function<QString(const QWidget *)> m_excerpt;
    QTimer m_pause;
    QWidget *m_notice = nullptr;
    QString m_announced; // what the notification said last
};

// The longest excerpt of the output an announcement reads, in characters.
inline constexpr int AnnouncedLength = 80;

// What an announcement says of the output: the words "Applied text:" and at most
// AnnouncedLength characters of it, counted from its end when fromEnd is set, with "…" where it
// was cut and "empty" for an empty text.
QString announcementOf(const QString &output, bool fromEnd);
