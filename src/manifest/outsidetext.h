#ifndef OUTSIDETEXT_H
#define OUTSIDETEXT_H

#include <QJsonObject>
#include <QString>

// Text from outside (an update server's answer, a mirror's file, a file
// name) on its way to a terminal, a log or a dialog. Control characters
// steer a terminal: ESC begins sequences that clear the screen or set the
// window title, CR overwrites the line, and the C1 controls U+0080-U+009F
// (what Latin-1 bytes 0x80-0x9F decode to) act as ESC sequences in some
// terminals. Bidirectional overrides and isolates reorder whatever follows
// them. Each of them is shown as a visible escape instead: "\x1b", "\u202e".
// Invalid UTF-8 needs nothing here: QString::fromUtf8 has made it U+FFFD.
class OutsideText
{
public:
    enum Breaks {
        // Line breaks and tabs stay: a message of several lines.
        KeepBreaks,
        // Escaped too: one field (a label, a file name) that must not start
        // a line of its own.
        EscapeBreaks
    };

    // `text` itself when it holds nothing to escape.
    static QString escaped(const QString& text, Breaks breaks = KeepBreaks);
    // Every string in `object`, at any depth, escaped; line breaks stay.
    static QJsonObject escaped(const QJsonObject& object);
    // Whether `text` holds nothing that escaped(text, EscapeBreaks) would change.
    static bool isPlain(const QString& text);
};

#endif
