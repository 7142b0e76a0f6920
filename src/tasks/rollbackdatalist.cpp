#include "rollbackdatalist.h"

namespace {

// A task's journal of a record or two takes little room; a long one grows
// into blocks small enough for the allocator's heap and large enough for
// hundreds of records.
constexpr qsizetype FirstBlockSize = 256;
constexpr qsizetype BlockSize = 64 * 1024;
// How many leading bytes a path shares with the block's first path.
constexpr qsizetype SharedSize = 2;
// Where the block's first path starts: after its operation and shared length.
constexpr qsizetype HeadSize = 1 + SharedSize;

quint16 sharedLength(const char* first, const QByteArray& text)
{
    qsizetype length = 0;
    const qsizetype limit = qMin(text.size(), qsizetype(0xffff));
    while (length < limit && first[length] == text.at(length))
        ++length;
    return quint16(length);
}

} // namespace

void RollbackDataList::add(const RollbackData& record)
{
    const QByteArray& path = record.encoded();
    const QByteArray& previous = record.encodedPrevious();
    const qsizetype size = path.size() + previous.size() + 2 * (SharedSize + 1) + 1;
    if (blocks.isEmpty() || blocks.last().size() + size > blocks.last().capacity()) {
        const qsizetype room
            = blocks.isEmpty() ? FirstBlockSize : qMin(2 * blocks.last().capacity(), BlockSize);
        QByteArray block;
        block.reserve(qMax(room, size));
        blocks.append(block);
    }
    QByteArray& block = blocks.last();
    places.append({ quint32(blocks.size() - 1), quint32(block.size()) });
    // The paths of one installation mostly begin alike: what a path shares
    // with the block's first path is kept once, in that path.
    const char* first = block.isEmpty() ? "" : block.constData() + HeadSize;
    const auto appendPath = [&block, first](const QByteArray& text) {
        const quint16 shared = sharedLength(first, text);
        block.append(char(shared & 0xff)).append(char(shared >> 8));
        block.append(text.constData() + shared, text.size() - shared).append('\0');
    };
    block.append(char(record.operation));
    appendPath(path);
    appendPath(previous);
}

void RollbackDataList::appendList(const RollbackDataList& other)
{
    for (qsizetype i = 0; i < other.size(); ++i)
        add(other.at(i));
}

void RollbackDataList::clear()
{
    blocks.clear();
    places.clear();
}

RollbackData RollbackDataList::at(qsizetype index) const
{
    const Place place = places.at(index);
    const char* block = blocks.at(place.block).constData();
    const char* next = block + place.offset + 1;
    const auto takePath = [block, &next] {
        const quint16 shared = quint16(quint8(next[0]) | quint8(next[1]) << 8);
        const char* rest = next + SharedSize;
        QByteArray text = QByteArray(block + HeadSize, shared) + QByteArray(rest);
        next = rest + qstrlen(rest) + 1;
        return text;
    };
    const auto operation = RollbackData::Operation(quint8(block[place.offset]));
    const QByteArray path = takePath();
    return RollbackData::fromEncoded(operation, takePath(), path);
}

QList<RollbackData> RollbackDataList::records() const
{
    QList<RollbackData> copies;
    copies.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        copies.append(at(i));
    return copies;
}

bool RollbackDataList::rollback(QObject* receiver)
{
    bool result = true;
    while (!places.isEmpty()) {
        const RollbackData record = at(places.size() - 1);
        const Place place = places.takeLast();
        blocks[place.block].truncate(place.offset);
        if (place.offset == 0)
            blocks.removeLast();
        if (!record.rollback(receiver))
            result = false;
    }
    return result;
}
