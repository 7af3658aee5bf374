#pragma once

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace wendle::test {

// A memory stream to hand the scanner as its echo output.
class EchoCapture {
public:
    EchoCapture() : m_stream(open_memstream(&m_buffer, &m_size)) {}
    ~EchoCapture()
    {
        std::fclose(m_stream);
        std::free(m_buffer);
    }
    EchoCapture(const EchoCapture &) = delete;
    EchoCapture &operator=(const EchoCapture &) = delete;

    FILE *stream() const { return m_stream; }
    // What the writer has flushed so far; the stream's own buffer is not.
    QByteArray written() const { return QByteArray(m_buffer, qsizetype(m_size)); }
    QByteArray text()
    {
        std::fflush(m_stream);
        return written();
    }

private:
    char *m_buffer = nullptr;
    size_t m_size = 0;
    FILE *m_stream;
};

} // namespace wendle::test
