#pragma once

#include <QString>

#include <exception>
#include <string>

namespace varnel {

// The one error kind of the database gateway. The message is what the user is shown after
// "Ошибка подключения к базе данных!\n": the database's or driver's own text, never a
// translation of it.
class DbError : public std::exception {
public:
    explicit DbError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toStdString())
    {}

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

} // namespace varnel
