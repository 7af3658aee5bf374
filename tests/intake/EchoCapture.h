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
        if (m_stream)
            std::fclose(m_stream);
        std::free(m_buffer);
    }
    EchoCapture(const EchoCapture &) = delete;
    EchoCapture &operator=(const EchoCapture &) = delete;

    FILE *stream() const { return m_stream; }

    // Everything echoed so far.
    QByteArray text()
    {
        std::fflush(m_stream);
        return QByteArray(m_buffer, qsizetype(m_size));
    }

private:
    char *m_buffer = nullptr;
    size_t m_size = 0;
    FILE *m_stream;
};

} // namespace wendle::test
