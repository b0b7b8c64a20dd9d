#include "LocalHttpServer.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTimer>
#include <QTcpSocket>

LocalHttpServer::LocalHttpServer()
{
    home_ = new QObject;
    home_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(home_, [this] {
        auto* listener = new QTcpServer(home_);
        listener->listen(QHostAddress::LocalHost, 0);
        port_ = listener->serverPort();
        QObject::connect(listener, &QTcpServer::newConnection, listener, [this, listener] {
            while (QTcpSocket* socket = listener->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }, Qt::BlockingQueuedConnection);
}

LocalHttpServer::~LocalHttpServer()
{
    QMetaObject::invokeMethod(home_, [this] { qDeleteAll(home_->children()); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete home_;
}

void LocalHttpServer::Route(const QByteArray& target, Response response)
{
    const QMutexLocker lock(&mutex_);
    routes_.insert(target, std::move(response));
}

QString LocalHttpServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QList<LocalHttpServer::Request> LocalHttpServer::requests() const
{
    const QMutexLocker lock(&mutex_);
    return requests_;
}

void LocalHttpServer::Serve(QTcpSocket* socket)
{
    // One request a connection, without a body: the answer closes it.
    if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n"))
        return;
    const QList<QByteArray> lines = socket->readAll().split('\n');
    Request request{lines.value(0).split(' ').value(1), {}, std::chrono::steady_clock::now()};
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    Response response{404};
    {
        const QMutexLocker lock(&mutex_);
        requests_.append(request);
        response = routes_.value(request.target, routes_.value(request.target.split('?').value(0), response));
    }
    if (!response.answer)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Canned\r\nConnection: close\r\n" +
                      "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.dripMs > 0) {
        socket->write(head + "\r\n");
        auto* drip = new QTimer(socket);
        QObject::connect(drip, &QTimer::timeout, socket, [socket, rest = response.body]() mutable {
            if (rest.isEmpty())
                return socket->disconnectFromHost();
            socket->write(rest.left(1));
            rest.remove(0, 1);
        });
        drip->start(response.dripMs);
        return;
    }
    socket->write(head + "\r\n" + response.body);
    socket->disconnectFromHost();
}
