#ifndef MARKUPBUDGET_H
#define MARKUPBUDGET_H

#include <QString>

// Decides, from the text alone and before Qt parses it, whether markup from
// outside may be shown as rich text: what Qt's rich text costs grows far
// faster than the text for a few constructs, measured with Qt 6.4 on the
// development machine:
// - nested tables take exponential layout time (17 levels: 2.7 s), and a
//   table's grid costs per cell (450 cells and 250 rows from 4.5 KB: 14 s);
// - style sheets match every selector part against every element (4 KB of
//   descendant selectors: 5.5 s);
// - parsing is quadratic in the nesting depth (16,000 unclosed <b>: 8.6 s).
// So rich text is refused with a table or a style element anywhere, with
// more than MaxTags tags (which bounds the depth), or beyond MaxLength. A
// tag name Qt would decode (a character reference, quotes) is taken for the
// worst. Refused markup is shown as plain text.
class MarkupBudget
{
public:
    // The largest rich text worth showing: a long changelog, not a news line.
    static constexpr qsizetype MaxLength = 64 * 1024;
    // Nested this deep, the costliest markup measured (lists) takes 70 ms.
    static constexpr int MaxTags = 1000;

    MarkupBudget() = delete;

    static bool affords(const QString& markup);
};

#endif
