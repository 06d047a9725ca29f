#include "tests/support/NginxServer.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTest>

class TestNginxServer : public QObject
{
    Q_OBJECT

private slots:
    // The fixture's promises that other tests build on: ranges are served, HTTPS offers HTTP/2 to
    // a client that trusts the certificate, and the access log shows protocol, range and bytes.
    void servesAndLogs()
    {
        NginxServer nginx;
        QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
        QFile file(nginx.documentRoot() + QStringLiteral("/a.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(1000, 'a')) == 1000);
        file.close();

        QNetworkAccessManager manager;
        QNetworkRequest plain(nginx.url(QStringLiteral("/a.bin")));
        plain.setRawHeader("Range", "bytes=10-19");
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(nginx.certificateFile()));
        QNetworkRequest secure(nginx.secureUrl(QStringLiteral("/a.bin")));
        secure.setSslConfiguration(tls);

        for (const QNetworkRequest &request : {plain, secure}) {
            QNetworkReply *reply = manager.get(request);
            QSignalSpy finished(reply, &QNetworkReply::finished);
            QVERIFY(finished.wait(20000));
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            reply->deleteLater();
        }

        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), 2, 20000);
        const QList<NginxServer::LogEntry> log = nginx.accessLog();
        QCOMPARE(log.at(0).protocol, QByteArray("HTTP/1.1"));
        QCOMPARE(log.at(0).status, 206);
        QCOMPARE(log.at(0).range, QByteArray("bytes=10-19"));
        QCOMPARE(log.at(0).bodyBytes, 10);
        QCOMPARE(log.at(1).protocol, QByteArray("HTTP/2.0"));
        QCOMPARE(log.at(1).status, 200);
        QCOMPARE(log.at(1).bodyBytes, 1000);
        QVERIFY(log.at(1).range.isEmpty());

        const qint64 pid = nginx.pid();
        nginx.stop();
        QVERIFY(!QFile::exists(QStringLiteral("/proc/%1").arg(pid)));
    }
};

QTEST_GUILESS_MAIN(TestNginxServer)
#include "tst_NginxServer.moc"
