#include "platform/SequentialInput.h"

#include "platform/HostFile.h"
#include "platform/MachineFolder.h"

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
    // No text can carry a NUL; the reader behaves as if they were not there.
    if (m_data.contains('\0'))
        m_data.removeIf([](char c) { return c == '\0'; });
    const qsizetype ctrlZ = m_data.indexOf(kCtrlZ);
    m_end = ctrlZ < 0 ? m_data.size() : ctrlZ;
}

Result<SequentialInput> SequentialInput::open(const MachineFolder& machine, QStringView windowsPath)
{
    const Result<QString> host = machine.hostPath(windowsPath);
    if (!host)
        return failure(host.reason());
    Result<QByteArray> data = readHostFile(*host);
    if (!data)
        return failure(data.reason());
    return SequentialInput(std::move(*data));
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
        qsizetype close = pos + 1;
        while (close < m_end && data[close] != '"')
            ++close;
        item = QByteArrayView(data + pos + 1, close - pos - 1);
        pos = close < m_end ? close + 1 : m_end;
        while (pos < m_end && isBlank(data[pos]))
            ++pos;
        // Anything else after the closing quote is left to start the next item.
        m_endedLine = pos >= m_end || isLineEnd(data[pos]);
    } else {
        qsizetype end = pos;
        while (end < m_end && data[end] != ',' && !isLineEnd(data[end]))
            ++end;
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
