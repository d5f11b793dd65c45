#include "profile/SequentialInput.h"

#include "core/ByteSearch.h"
#include "files/Drive.h"
#include "files/HostFile.h"
#include "machine/MachineFolder.h"

namespace velmora {
namespace {

constexpr char kCtrlZ = '\x1A';

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

QByteArrayView withoutTrailingBlanks(const char* begin, const char* end)
{
    while (end > begin && isBlank(end[-1]))
        --end;
    return QByteArrayView(begin, end - begin);
}

} // namespace

SequentialInput::SequentialInput(QByteArray data) : m_data(std::move(data))
{
    // One pass finds where the input ends, unless a NUL comes first: no text can carry one, and
    // the reader behaves as if they were not there.
    const char* stop = findAny<'\0', kCtrlZ>(m_data.cbegin(), m_data.cend());
    if (stop && *stop == '\0') {
        m_data.removeIf([](char c) { return c == '\0'; });
        stop = findAny<kCtrlZ>(m_data.cbegin(), m_data.cend());
    }
    m_end = stop ? stop - m_data.cbegin() : m_data.size();
}

Result<SequentialInput> SequentialInput::open(const MachineFolder& machine, QStringView windowsPath)
{
    const Result<QString> host = machine.hostPath(windowsPath);
    if (!host)
        return failure(host.reason());
    Result<Found<QByteArray>> data = machine.drive().readIfPresent(*host, kHostFileLimit);
    if (!data)
        return failure(data.reason());
    if (!data->isPresent())
        return failure(QStringLiteral("the file does not exist"));
    return SequentialInput(std::move(data->value));
}

bool SequentialInput::atEnd() const
{
    return m_pos >= m_end;
}

std::optional<QByteArray> SequentialInput::next()
{
    const std::optional<QByteArrayView> item = nextView();
    return item ? std::optional<QByteArray>(item->toByteArray()) : std::nullopt;
}

std::optional<QByteArrayView> SequentialInput::nextView()
{
    if (atEnd())
        return std::nullopt;
    const char* data = m_data.constData();
    qsizetype pos = m_pos;
    while (pos < m_end && isBlank(data[pos]))
        ++pos;

    QByteArrayView item;
    if (pos < m_end && data[pos] == '"') {
        const char* quote = findAny<'"'>(data + pos + 1, data + m_end);
        const qsizetype close = quote ? quote - data : m_end;
        item = QByteArrayView(data + pos + 1, close - pos - 1);
        pos = close < m_end ? close + 1 : m_end;
        while (pos < m_end && isBlank(data[pos]))
            ++pos;
        // Anything else after the closing quote is left to start the next item.
        m_endedLine = pos >= m_end || isLineEnd(data[pos]);
    } else {
        const char* stop = findAny<',', '\r', '\n'>(data + pos, data + m_end);
        const qsizetype end = stop ? stop - data : m_end;
        item = withoutTrailingBlanks(data + pos, data + end);
        pos = end;
        m_endedLine = pos >= m_end || data[pos] != ',';
    }

    if (pos < m_end) {
        if (data[pos] == '\r')
            pos += (pos + 1 < m_end && data[pos + 1] == '\n') ? 2 : 1;
        else if (data[pos] == ',' || data[pos] == '\n')
            ++pos;
    }
    m_pos = pos;
    return item;
}

} // namespace velmora
