#pragma once
// A canned-response HTTP/1.1 server on 127.0.0.1 for tests. It serves from
// its own thread, so a test may block (on a child process, say) meanwhile.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <chrono>
#include <utility>

class QTcpSocket;

class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body = {};
        QList<std::pair<QByteArray, QByteArray>> headers = {};
        bool answer = true; // false: read the request and never answer it
        int dripMs = 0;     // > 0: the body goes a byte at a time, this far apart
    };
    struct Request {
        QByteArray target;                    // path and query
        QHash<QByteArray, QByteArray> headers; // names in lower case
        std::chrono::steady_clock::time_point arrived;
    };

    LocalHttpServer();
    ~LocalHttpServer();

    // target is a path with or without a query; a request is matched with
    // its query first, then without. Anything else is a 404.
    void Route(const QByteArray& target, Response response);
    QString url() const; // "http://127.0.0.1:<port>"
    QList<Request> requests() const;

private:
    void Serve(QTcpSocket* socket);

    QThread thread_;
    QObject* home_ = nullptr; // lives in thread_, owns the listener and its sockets
    quint16 port_ = 0;
    mutable QMutex mutex_;
    QHash<QByteArray, Response> routes_;
    QList<Request> requests_;
};
