#include "reports/XmlItemWindows.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "reports/XmlDocument.h"
#include "reports/XmlEncoding.h"
#include "reports/XmlWellFormedCheck.h"

#include <algorithm>
#include <cerrno>
#include <QFile>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kCheckPieceBytes = 1 << 20;

// Reads `size` bytes at `offset` into `into`; false when the file ends or fails before.
bool readAt(const QFile &file, qint64 offset, char *into, qint64 size)
{
    while (size > 0) {
        const ssize_t got = ::pread(file.handle(), into, size_t(size), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        offset += got;
        into += got;
        size -= got;
    }
    return true;
}

QByteArray bytesAt(const QFile &file, qint64 offset, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    return readAt(file, offset, bytes.data(), size) ? bytes : QByteArray();
}

// Whether the report is stored as UTF-8, so that the check reads the stored bytes as they are;
// `textStart` is set past a byte-order mark.
bool storedAsUtf8(const QFile &file, qint64 &textStart)
{
    const QByteArray head = bytesAt(file, 0, std::min<qint64>(file.size(), 4096));
    textStart = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    // An XML declaration longer than the head might name its encoding after it.
    if (head.isEmpty() || (head.mid(textStart).startsWith("<?xml") && !head.contains("?>")))
        return false;
    try {
        bool converted = false;
        XmlEncoding::toUnvalidatedUtf8(head, file.fileName(), converted);
        return !converted;
    } catch (const std::exception &) {
        return false;
    }
}

// Checks the whole file a piece at a time and notes where the items stand; false when the
// check refuses the text or the file cannot be read to its end.
bool checkWhole(const QFile &file, XmlItemRun &run)
{
    XmlWellFormedCheck check;
    check.noteItems(run);
    const qint64 size = file.size();
    // A piece small enough that the check reads it while it is still in the processor's cache,
    // and a byte for the closing zero the check reads.
    std::vector<char> buffer(size_t(std::min<qint64>(kCheckPieceBytes, size)) + 1);
    size_t filled = 0;
    qint64 offset = 0;
    for (;;) {
        const qint64 wanted = std::min<qint64>(qint64(buffer.size() - 1 - filled), size - offset);
        if (!readAt(file, offset, buffer.data() + filled, wanted))
            return false;
        offset += wanted;
        filled += size_t(wanted);
        const bool last = offset == size;
        buffer[filled] = 0;
        const size_t consumed = check.feed(buffer.data(), filled, last);
        if (last || check.failed())
            return check.finished() && !check.failed();
        std::copy(buffer.begin() + qsizetype(consumed), buffer.begin() + qsizetype(filled), buffer.begin());
        filled -= consumed;
        // A construct larger than the piece (a long comment, say) gets more room.
        if (filled == buffer.size() - 1)
            buffer.resize(2 * filled + 1);
    }
}

} // namespace

void TXMLItemWindows::read(TXMLDocument &document, const std::function<void(TXMLDocument &)> &read) const
{
    const auto readWhole = [&] {
        document.LoadFromFile();
        read(document);
    };
    QFile file(document.FileName());
    qint64 textStart = 0;
    // A report of a few windows is read whole: the windows would spare little memory.
    if (!openRegularFileForReading(file).isEmpty() || file.size() < 4 * m_windowBytes ||
        !storedAsUtf8(file, textStart))
        return readWhole();
    XmlItemRun run;
    run.depth = m_itemDepth;
    run.localName = m_itemName;
    run.windowBytes = m_windowBytes;
    // Every window repeats the text around the items, which is a header in a report; a file with
    // more around them is read whole rather than over and over.
    if (!checkWhole(file, run) || run.begin < 0 || run.scattered || run.cuts.empty() ||
        run.begin - textStart + file.size() - run.end > kMaxTextAroundItems)
        return readWhole();

    const QByteArray prologue = bytesAt(file, textStart, run.begin - textStart);
    const QByteArray epilogue = bytesAt(file, run.end, file.size() - run.end);
    std::vector<qint64> bounds = {run.begin};
    bounds.insert(bounds.end(), run.cuts.begin(), run.cuts.end());
    if (bounds.back() != run.end)
        bounds.push_back(run.end);
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
        const qint64 items = bounds[i + 1] - bounds[i];
        QByteArray window = document.releaseText();
        window.resize(prologue.size() + items + epilogue.size());
        std::copy(prologue.begin(), prologue.end(), window.begin());
        std::copy(epilogue.begin(), epilogue.end(), window.begin() + prologue.size() + items);
        if (!readAt(file, bounds[i], window.data() + prologue.size(), items))
            document.failChanged();
        document.loadCheckedText(std::move(window));
        read(document);
    }
}
