#include "ui/markupbudget.h"

#include <QStringView>

namespace {

// Where Qt's HTML parser ends the name of a tag.
bool endsTagName(const QString& text, qsizetype i)
{
    const QChar c = text.at(i);
    return c == QLatin1Char('>') || c == QLatin1Char('<') || c == QLatin1Char('=') || c.isSpace()
        || (c == QLatin1Char('/') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('>'));
}

} // namespace

bool MarkupBudget::affords(const QString& markup)
{
    if (markup.size() > MaxLength)
        return false;
    int tags = 0;
    for (qsizetype open = markup.indexOf(QLatin1Char('<')); open >= 0;
         open = markup.indexOf(QLatin1Char('<'), open + 1)) {
        // Qt makes an element of almost every "<"; counting them all errs high.
        if (++tags > MaxTags)
            return false;
        qsizetype start = open + 1;
        while (start < markup.size() && markup.at(start).isSpace())
            ++start;
        qsizetype end = start;
        while (end < markup.size() && !endsTagName(markup, end))
            ++end;
        const QStringView name = QStringView(markup).mid(start, end - start);
        if (name.startsWith(u'"') || name.startsWith(u'\'') || name.contains(u'&')
            || name.compare(u"table", Qt::CaseInsensitive) == 0
            || name.compare(u"style", Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}
