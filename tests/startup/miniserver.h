#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A tiny HTTP server on 127.0.0.1 for one test: answers each path with a fixed
// response; unknown paths get 404.
class MiniServer : public QTcpServer
{
  public:
    MiniServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }

    void page(const QByteArray &path, const QByteArray &body, const QByteArray &type = "text/html",
              int status = 200)
    {
        pages_[path] = {body, type, status};
    }

    QList<QByteArray> requested; // the paths asked for, in order

    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }

  private:
    struct Page {
        QByteArray body, type;
        int status;
    };

    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            request_[socket] += socket->readAll();
            const QByteArray &request = request_[socket];
            if (!request.contains("\r\n\r\n"))
                return;
            const QByteArray path = request.split(' ').value(1);
            requested.append(path);
            const Page page = pages_.value(path, {"missing", "text/plain", 404});
            socket->write("HTTP/1.1 " + QByteArray::number(page.status) +
                          " X\r\nContent-Type: " + page.type +
                          "\r\nContent-Length: " + QByteArray::number(page.body.size()) +
                          "\r\nConnection: close\r\n\r\n" + page.body);
            socket->disconnectFromHost();
            request_.remove(socket);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QHash<QByteArray, Page> pages_;
    QHash<QTcpSocket *, QByteArray> request_;
};
