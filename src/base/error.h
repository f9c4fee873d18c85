#pragma once

#include <QString>

#include <exception>
#include <string>

namespace varnel {

// The program's error: a message text for the user. Everything the program raises derives
// from it, so the default error display has one place to read the text from.
class Error : public std::exception {
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toStdString())
    {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

} // namespace varnel
