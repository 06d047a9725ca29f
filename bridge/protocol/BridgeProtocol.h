#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class QDeadlineTimer;
class QLocalSocket;

// The rules both programs follow on the local bridge: the server's name, the framing of messages
// (one compact JSON object per line) and which browser requests may reach the download list.
namespace BridgeProtocol {

// A message line may be this long without its line feed; a longer request is dropped unanswered.
constexpr qsizetype maxMessageBytes = 65536;

// "Rushlet-" and 24 hexadecimal digits derived from the data folder, so that every user (and
// every data folder) has a server of its own. The application's names must be set first.
QString bridgeServerName();
QString bridgeServerNameFor(const QString &dataFolder);

// Where the server for bridgeServerName() listens; empty when the system cannot offer a private one.
QString bridgeServerAddress();

// The object in compact form followed by a line feed.
QByteArray encodeMessage(const QJsonObject &message);

// The 16 bytes a second start of the program sends to the running instance.
QByteArray showRequest();

QJsonObject errorReply(const QString &message);

// True for a download request the program can take: an http(s) URL with a host, no user
// information and at most 16000 characters, an id of 1 to 100 letters, digits and "-", and
// optional fields of the browser's session that are all well-formed (RequestContextRules).
bool isValidDownloadRequest(const QJsonObject &request);

// True for a question about a download the browser handed over: type "status" and an id as in a
// download request.
bool isValidStatusRequest(const QJsonObject &request);

// Connects `socket` to the running instance and makes sure the server runs as the current user;
// anyone else who got hold of the name is refused. The server's process id goes to
// `serverProcessId` when given.
bool connectToBridge(QLocalSocket &socket, int timeoutMs, qint64 *serverProcessId = nullptr);

// Writes every byte before the deadline; false when the peer went away or the time ran out.
bool writeAll(QLocalSocket &socket, const QByteArray &bytes, const QDeadlineTimer &deadline);

// What the peer sent up to its first line feed, the size limit of a message, the deadline or the
// peer closing, whichever comes first. The caller decides whether that is a whole reply.
QByteArray readReplyLine(QLocalSocket &socket, const QDeadlineTimer &deadline);

} // namespace BridgeProtocol
