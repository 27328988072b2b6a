#include "echowatch/platform/time_of_day_text.h"

#include <QList>

namespace platform {

namespace {

// A time pattern read as Qt reads it: runs of one ASCII letter are fields,
// text in single quotes is kept as written, anything else is plain text.
struct PatternPiece
{
    enum class Kind
    {
        Field,
        Quoted,
        Plain,
    };
    Kind kind;
    QString text;
};

bool isFieldLetter(QChar character)
{
    return (character >= u'a' && character <= u'z') || (character >= u'A' && character <= u'Z');
}

// Two quotes in a row stand for one quote, inside quotes or out.
qsizetype quotedEnd(const QString &pattern, qsizetype opening)
{
    qsizetype at = opening + 1;
    while (at < pattern.size()) {
        if (pattern[at] != u'\'')
            ++at;
        else if (at + 1 < pattern.size() && pattern[at + 1] == u'\'')
            at += 2;
        else
            return at + 1;
    }
    return at;
}

QList<PatternPiece> splitPattern(const QString &pattern)
{
    QList<PatternPiece> pieces;
    qsizetype at = 0;
    while (at < pattern.size()) {
        const QChar first = pattern[at];
        qsizetype end = at + 1;
        PatternPiece::Kind kind = PatternPiece::Kind::Plain;
        if (first == u'\'') {
            kind = PatternPiece::Kind::Quoted;
            end = quotedEnd(pattern, at);
        } else if (isFieldLetter(first)) {
            kind = PatternPiece::Kind::Field;
            while (end < pattern.size() && pattern[end] == first)
                ++end;
        } else {
            while (end < pattern.size() && pattern[end] != u'\'' && !isFieldLetter(pattern[end]))
                ++end;
        }
        pieces.append({kind, pattern.mid(at, end - at)});
        at = end;
    }
    return pieces;
}

// Spaces and commas part the zone from its neighbour; a full stop may end
// an abbreviation ("'ч'.") and stays.
bool isSeparator(QChar character)
{
    return character.isSpace() || QStringView(u",\u060C\u3001\uFF0C").contains(character);
}

bool isPlain(const QList<PatternPiece> &pieces, qsizetype index)
{
    return index >= 0 && index < pieces.size() && pieces[index].kind == PatternPiece::Kind::Plain;
}

// Brackets that held nothing but the zone, e.g. "(t)" or "[t]".
void dropEmptiedBrackets(QString &before, QString &after)
{
    if (before.isEmpty() || after.isEmpty())
        return;
    const QChar opening = before.back();
    if (opening.category() == QChar::Punctuation_Open && after.front() == opening.mirroredChar()) {
        before.chop(1);
        after.remove(0, 1);
    }
}

// Removes the zone field at index, the brackets around it, and the
// separator that set it apart from the field before it (or, when it came
// first, from the field after it).
void dropZoneField(QList<PatternPiece> &pieces, qsizetype index)
{
    pieces.removeAt(index);
    QString none;
    QString &before = isPlain(pieces, index - 1) ? pieces[index - 1].text : none;
    QString &after = isPlain(pieces, index) ? pieces[index].text : none;
    dropEmptiedBrackets(before, after);
    if (index > 0) {
        while (!before.isEmpty() && isSeparator(before.back()))
            before.chop(1);
    } else {
        while (!after.isEmpty() && isSeparator(after.front()))
            after.remove(0, 1);
    }
}

} // namespace

QString timeOfDayFormat(const QLocale &locale)
{
    QList<PatternPiece> pieces = splitPattern(locale.timeFormat(QLocale::LongFormat));
    for (qsizetype index = pieces.size() - 1; index >= 0; --index) {
        if (pieces[index].kind != PatternPiece::Kind::Field)
            continue;
        const QChar letter = pieces[index].text.front();
        if (letter == u't')
            dropZoneField(pieces, index);
        // CLDR's day period ("B"), which QLocale does not format; its
        // morning and afternoon are what "AP" writes.
        else if (letter == u'B')
            pieces[index].text = QStringLiteral("AP");
    }
    QString format;
    for (const PatternPiece &piece : pieces)
        format += piece.text;
    return format;
}

} // namespace platform
