#include "rollbackdatalist.h"

namespace {

// A task's journal of a record or two takes little room; a long one grows
// into blocks small enough for the allocator's heap and large enough for
// hundreds of records.
constexpr qsizetype FirstBlockSize = 256;
constexpr qsizetype BlockSize = 64 * 1024;

} // namespace

void RollbackDataList::add(const RollbackData& record)
{
    const QByteArray& path = record.encoded();
    const QByteArray& previous = record.encodedPrevious();
    const qsizetype size = path.size() + previous.size() + 3;
    if (blocks.isEmpty() || blocks.last().size() + size > blocks.last().capacity()) {
        const qsizetype room
            = blocks.isEmpty() ? FirstBlockSize : qMin(2 * blocks.last().capacity(), BlockSize);
        QByteArray block;
        block.reserve(qMax(room, size));
        blocks.append(block);
    }
    QByteArray& block = blocks.last();
    places.append({ quint32(blocks.size() - 1), quint32(block.size()) });
    block.append(char(record.operation)).append(path).append('\0').append(previous).append('\0');
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
    const char* start = blocks.at(place.block).constData() + place.offset;
    const QByteArray path(start + 1);
    const QByteArray previous(start + 1 + path.size() + 1);
    return RollbackData::fromEncoded(RollbackData::Operation(quint8(*start)), previous, path);
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
