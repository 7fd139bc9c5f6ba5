#include "client/ArrayProbe.h"

#include "client/ArrayOperations.h"

namespace managehnas {

namespace {

// Where a request that got no HTTP answer stopped, and why.
struct Stop {
    QzProbeStep step;
    QzProbeFailure failure;
};

// The phases a transfer ended, by libcurl's times. A resolve that took less
// than a microsecond reads 0, but a peer address then says it ended.
QzProbeStep firstUnfinished(const TransferInfo& t) {
    if (t.resolvedUs == 0 && t.peerAddress.empty()) return QzProbeStep::Resolve;
    if (t.connectedUs == 0) return QzProbeStep::Connect;
    if (t.tlsDoneUs == 0) return QzProbeStep::Tls;
    return QzProbeStep::Http;
}

// libcurl's result code names the phase for most failures; a time-out or a
// broken connection is placed by the first phase that did not end.
Stop transportStop(const TransferInfo& t) {
    switch (t.code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return {QzProbeStep::Resolve, QzProbeFailure::CannotResolve};
        case CURLE_COULDNT_CONNECT:
            return {QzProbeStep::Connect, QzProbeFailure::CannotConnect};
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CRL_BADFILE:
            return {QzProbeStep::Tls, QzProbeFailure::CaFileUnusable};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return {QzProbeStep::Tls, QzProbeFailure::Untrusted};
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_USE_SSL_FAILED:
            return {QzProbeStep::Tls, QzProbeFailure::Handshake};
        default:
            break;
    }
    const QzProbeStep step = firstUnfinished(t);
    switch (t.code) {
        case CURLE_OPERATION_TIMEDOUT:
            return {step, QzProbeFailure::TimedOut};
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_FAIL_REWIND:
        case CURLE_PARTIAL_FILE:
            return {step, step == QzProbeStep::Tls ? QzProbeFailure::Handshake : QzProbeFailure::NoAnswer};
        case CURLE_WRITE_ERROR:     // the answer outgrew the client's bound
        case CURLE_WEIRD_SERVER_REPLY:
            return {step, QzProbeFailure::BadAnswer};
        default:
            return {step, QzProbeFailure::Other};
    }
}

// Where a request that got an HTTP answer stopped: a version the array does
// not serve is answered 404 before the credentials are looked at; any other
// refusal or an answer without the server is the lookup's.
Stop answerStop(long status) {
    if (status == 404) return {QzProbeStep::ApiVersion, QzProbeFailure::HttpStatus};
    if (status == 401) return {QzProbeStep::Credentials, QzProbeFailure::HttpStatus};
    if (status < 200 || status > 299) return {QzProbeStep::VirtualServer, QzProbeFailure::HttpStatus};
    // The answer came but gave no file-services virtual server for the array
    // ID: none is named or has that address, or the list is not one the
    // client can read; the message says which.
    return {QzProbeStep::VirtualServer, QzProbeFailure::NoVirtualServer};
}

long long since(curl_off_t end, curl_off_t start) { return end > start ? static_cast<long long>(end - start) : 0; }

// The microseconds each transport phase took, by its end and the previous
// phase's end; a phase that did not end runs to the end of the transfer.
long long phaseMicros(QzProbeStep step, const TransferInfo& t) {
    const curl_off_t ends[] = {t.resolvedUs, t.connectedUs, t.tlsDoneUs, t.totalUs};
    const int index = static_cast<int>(step);
    if (index > static_cast<int>(QzProbeStep::Http)) return -1;
    const curl_off_t start = index == 0 ? 0 : ends[index - 1];
    const curl_off_t end = ends[index] != 0 ? ends[index] : t.totalUs;
    return since(end, start);
}

// What a passed phase found, e.g. "127.0.0.1 port 8444".
std::string found(QzProbeStep step, const ArraySession& session, const std::string& address,
                  const std::string& arrayId, const __HNASVirtualServers& server) {
    const TransferInfo& t = session.lastTransfer();
    const ClientSettings& settings = session.settings();
    switch (step) {
        case QzProbeStep::Resolve:
            return address + " -> " + t.peerAddress;
        case QzProbeStep::Connect:
            return t.peerAddress + " port " + std::to_string(t.peerPort);
        case QzProbeStep::Tls:
            if (settings.insecure) return std::string("NOT checked: ") + kInsecureKey + "=1 turns certificate checks off";
            return "certificate of " + address + " trusted by " +
                   (settings.caFile.empty() ? std::string("the system's CA store") : "CA file " + settings.caFile);
        case QzProbeStep::Http:
            return "HTTP status " + std::to_string(t.status);
        case QzProbeStep::ApiVersion:
            return "version " + settings.apiVersion;
        case QzProbeStep::Credentials:
            return session.usesApiKey() ? "API key from " + settings.apiKeyFile : "user " + session.user();
        case QzProbeStep::VirtualServer: {
            std::string addresses;
            for (const std::string& a : server.ipAddresses) addresses += (addresses.empty() ? "" : ", ") + a;
            return arrayId + ": virtual server " + server.name + " (" + addresses + ")";
        }
    }
    return std::string();
}

}  // namespace

bool probeArray(ArraySession& session, const std::string& address, const std::string& arrayId,
                std::vector<QzProbePhase>& phases, std::string& cause) {
    phases.clear();
    const bool open = session.isOpen();
    session.probeOnce();
    __HNASVirtualServers server;
    const bool done = getVirtualServerInfo(session, arrayId, server, cause);
    if (!open) {
        QzProbePhase setup;
        setup.failure = QzProbeFailure::Setup;
        setup.message = session.masked(cause);
        phases.push_back(setup);
        return false;
    }
    const TransferInfo& t = session.lastTransfer();
    Stop stop{QzProbeStep::VirtualServer, QzProbeFailure::None};
    if (t.code != CURLE_OK)
        stop = transportStop(t);
    else if (!done)
        stop = answerStop(t.status);
    for (int i = 0; i <= static_cast<int>(stop.step); ++i) {
        QzProbePhase phase;
        phase.step = static_cast<QzProbeStep>(i);
        phase.micros = phaseMicros(phase.step, t);
        phase.httpStatus = phase.step >= QzProbeStep::Http ? t.status : 0;
        if (phase.step == stop.step && stop.failure != QzProbeFailure::None) {
            phase.failure = stop.failure;
            phase.retried = session.lastFailure() == TransportFailure::NotSent ||
                            session.lastFailure() == TransportFailure::MaybeSent;
            phase.message = session.masked(cause);
        } else {
            phase.passed = true;
            phase.verified = !(phase.step == QzProbeStep::Tls && session.settings().insecure);
            phase.message = session.masked(found(phase.step, session, address, arrayId, server));
        }
        phases.push_back(phase);
    }
    return done;
}

}  // namespace managehnas
