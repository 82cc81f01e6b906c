#include "tools/serve_program.h"

#include <csignal>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <set>
#include <thread>

#include "db/session_pool.h"
#include "settings/network_setting.h"
#include "settings/program_start.h"
#include "station/station_journal.h"
#include "tools/catalogue_history.h"
#include "tools/fdsn_document.h"
#include "tools/fdsn_query.h"
#include "tools/stationxml.h"
#include "tools/tool_common.h"

// Last: through <sys/param.h> it defines NGROUPS, a column name of the headers above.
#include <httplib.h>

namespace {

constexpr const char* kServiceVersion = "1.1.0";
constexpr const char* kBase = "/fdsnws/station/1/";
// Limits of a request: the body of a POST, and the time to receive or send.
constexpr size_t kBodyLimit = 1 << 20;
constexpr time_t kTimeoutSeconds = 30;
// The server gives each open connection a thread while it is kept alive, so
// that many clients at once need as many threads; each holds at most one
// database session at a time. A connection is closed after kKeepAliveRequests
// requests, so that clients beyond kWorkers wait for a turn, not for
// another's whole session.
constexpr size_t kWorkers = 64;
constexpr size_t kKeepAliveRequests = 100;

void WriteHelp(std::ostream& out) {
    out << "Использование: station-serve [--listen АДРЕС:ПОРТ] [--network CODE]\n"
           "                     [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "\n"
           "Веб-служба FDSN station 1.1 на каталоге станций: /fdsnws/station/1/query (GET и POST),\n"
           "/version, /application.wadl. База только читается.\n"
           "\n"
           "  --listen АДРЕС:ПОРТ  где слушать (по умолчанию 127.0.0.1:8080; порт 0 - любой свободный);\n"
           "                       адрес и порт пишутся в стандартный вывод\n"
           "  --network CODE       код сети станций, которых нет в таблице AFFILIATION (NET, STA) или когда\n"
           "                       таблицы нет; иначе [FDSN] NETWORK из zrn.ini, иначе XX\n"
           "  --help               эта справка\n"
           "  --version            версия программы\n"
           "\n";
    WriteDatabaseHelp(out);
    out << "Работает до SIGINT или SIGTERM. Код выхода: 0 после остановки, 2 служба не запущена.\n";
}

// What the command line asks.
struct ServeArguments {
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string network;
    CommandLineValues connection;
};

std::optional<ServeArguments> ReadServeArguments(int argc, char** argv, std::ostream& err) {
    ProgramArguments arguments = SplitProgramArguments(argc, argv);
    ServeArguments asked;
    asked.connection = std::move(arguments.connection);
    const std::vector<std::string>& args = arguments.others;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        } else if ((name == "--listen" || name == "--network") && i + 1 < args.size()) {
            value = args[++i];
        } else if (name == "--listen" || name == "--network") {
            err << "station-serve: после " << name << " нужно значение\n";
            return std::nullopt;
        }
        if (name == "--network") {
            asked.network = value;
        } else if (name == "--listen") {
            const size_t colon = value.rfind(':');
            int port = -1;
            try {
                size_t used = 0;
                if (colon != std::string::npos) port = std::stoi(value.substr(colon + 1), &used);
                if (used != value.size() - colon - 1) port = -1;
            } catch (const std::exception&) {
                port = -1;
            }
            if (colon == std::string::npos || colon == 0 || port < 0 || port > 65535) {
                err << "station-serve: --listen '" << value << "': нужно АДРЕС:ПОРТ, например 127.0.0.1:8080\n";
                return std::nullopt;
            }
            asked.host = value.substr(0, colon);
            if (asked.host.size() > 2 && asked.host.front() == '[' && asked.host.back() == ']')
                asked.host = asked.host.substr(1, asked.host.size() - 2);
            asked.port = port;
        } else {
            err << "station-serve: неизвестный параметр '" << args[i] << "' (справка: station-serve --help)\n";
            return std::nullopt;
        }
    }
    return asked;
}

// The service's error document: status, reason, the request and the version.
void Fail(httplib::Response& res, int status, const std::string& reason, const httplib::Request& req) {
    static const std::map<int, std::string> kTitle = {{400, "Bad Request"},
                                                      {404, "Not Found"},
                                                      {413, "Request Entity Too Large"},
                                                      {500, "Internal Server Error"},
                                                      {503, "Service Unavailable"}};
    const auto title = kTitle.find(status);
    std::string query;
    for (const auto& [name, value] : req.params) query += (query.empty() ? "?" : "&") + name + "=" + value;
    res.status = status;
    res.set_content("Error " + std::to_string(status) + ": " + (title != kTitle.end() ? title->second : "") +
                        "\n\n" + reason + "\n\nUsage details are available from " + kBase +
                        "\n\nRequest:\n" + req.path + query + "\n\nRequest Submitted:\n" + UtcNowText() +
                        "\n\nService version:\n" + kServiceVersion + "\n",
                    "text/plain; charset=utf-8");
}

// Whether a failure means the database cannot be reached (SQLSTATE class
// 08, connection exceptions; HYT00/HYT01, timeouts), not a fault of the
// catalogue.
bool Unreachable(const CDBException& e) {
    for (const DiagnosticRecord& record : e.Records)
        if (record.sqlState.rfind("08", 0) == 0 || record.sqlState == "HYT00" || record.sqlState == "HYT01")
            return true;
    return false;
}

// Answers the query requests on a pool of read-only sessions.
class Service {
public:
    Service(std::string connectString, unsigned options, std::string network, std::ostream& err)
        : connect_(std::move(connectString)), options_(options), network_(std::move(network)), err_(err),
          pool_(DefaultSessionFactory(), std::chrono::minutes(5), kWorkers) {}

    void Query(const httplib::Request& req, httplib::Response& res, const FdsnQuery& query) {
        try {
            PooledSession session = pool_.Acquire(connect_, options_);
            if (!session) return Fail(res, 503, "The database cannot be reached.", req);
            try {
                Answer(*session, req, res, query);
            } catch (const CDBException& e) {
                // A session whose driver knows the connection is gone failed for
                // want of the database, whatever the statement's SQLSTATE.
                const bool lost = Unreachable(e) || !session->SeemsAlive();
                session->Close();  // a closed session is not taken back into the pool
                Log(req, e.ErrorText + e.StateText);
                if (lost) return Fail(res, 503, "The database cannot be reached.", req);
                return Fail(res, 500, "The catalogue could not be read.", req);
            } catch (...) {
                session->Close();
                throw;
            }
        } catch (const FdsnParameterError& e) {
            Fail(res, 400, e.what(), req);
        } catch (const CDBException& e) {
            Log(req, e.ErrorText + e.StateText);
            if (Unreachable(e)) return Fail(res, 503, "The database cannot be reached.", req);
            Fail(res, 500, "The catalogue could not be read.", req);
        } catch (const std::exception& e) {
            Log(req, e.what());
            Fail(res, 500, "The catalogue could not be read.", req);
        }
    }

private:
    void Answer(CDatabase& session, const httplib::Request& req, httplib::Response& res, const FdsnQuery& query) {
        std::optional<std::set<std::string>> changed;
        if (query.updatedAfter) {
            bool journal = false;
            {
                std::lock_guard guard(journalLock_);  // its answer is remembered per database
                journal = JournalAvailable(session);
            }
            if (!journal)
                throw FdsnParameterError("updatedafter",
                                         "the database keeps no journal of changes (no table STATION_JOURNAL)");
            const std::vector<std::string> codes = StationsChangedSince(session, *query.updatedAfter);
            changed.emplace(codes.begin(), codes.end());
        }
        const std::optional<std::vector<std::string>> listed = ListedStations(query);
        Catalogue catalogue = listed                ? ReadListedStations(session, *listed)
                              : NeedsChannels(query) ? ReadCatalogue(session, {})
                                                     : ReadSitesOnly(session);
        const NetworkCodes networks = NetworksOf(session, listed);
        const Catalogue selected = SelectFdsn(std::move(catalogue), query, networks, changed ? &*changed : nullptr);
        if (selected.sites.empty()) {
            res.status = query.nodata;
            if (query.nodata == 404) Fail(res, 404, "No data matches the selection.", req);
            return;
        }
        FdsnDocument document = WriteFdsnDocument(selected, query, networks, UtcNowText());
        res.set_content(std::move(document.body), document.contentType);
    }

    // Each station's network code: AFFILIATION's when the database has the
    // table (asked once, as it is not made while the service runs), for the
    // listed stations alone when the request lists them; else the default.
    NetworkCodes NetworksOf(CDatabase& session, const std::optional<std::vector<std::string>>& listed) {
        bool table = false;
        {
            std::lock_guard guard(journalLock_);
            if (!affiliation_) affiliation_ = HasNetworkTable(session);
            table = *affiliation_;
        }
        if (!table) return NetworkCodes(network_);
        return ReadNetworkCodesOf(session, network_, listed ? &*listed : nullptr);
    }

    void Log(const httplib::Request& req, const std::string& text) {
        std::lock_guard guard(logLock_);
        err_ << "station-serve: " << req.method << ' ' << req.path << ": " << MaskPassword(text) << std::endl;
    }

    std::string connect_;
    unsigned options_;
    std::string network_;
    std::ostream& err_;
    SessionPool pool_;
    std::optional<bool> affiliation_;
    std::mutex journalLock_, logLock_;
};

// The GET parameters in the order given.
FdsnParameters ParametersOf(const httplib::Request& req) {
    FdsnParameters parameters;
    for (const auto& [name, value] : req.params) parameters.emplace_back(name, value);
    return parameters;
}

std::string Wadl(const std::string& root) {
    std::string params;
    const char* names[][2] = {{"starttime", "xs:dateTime"},  {"endtime", "xs:dateTime"},    {"startbefore", "xs:dateTime"},
                              {"startafter", "xs:dateTime"}, {"endbefore", "xs:dateTime"},  {"endafter", "xs:dateTime"},
                              {"network", "xs:string"},      {"station", "xs:string"},      {"location", "xs:string"},
                              {"channel", "xs:string"},      {"minlatitude", "xs:double"},  {"maxlatitude", "xs:double"},
                              {"minlongitude", "xs:double"}, {"maxlongitude", "xs:double"}, {"latitude", "xs:double"},
                              {"longitude", "xs:double"},    {"minradius", "xs:double"},    {"maxradius", "xs:double"},
                              {"includerestricted", "xs:boolean"}, {"includeavailability", "xs:boolean"},
                              {"updatedafter", "xs:dateTime"}};
    for (const auto& [name, type] : names)
        params += std::string("        <param name=\"") + name + "\" style=\"query\" type=\"" + type + "\"/>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<application xmlns=\"http://wadl.dev.java.net/2009/02\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
           "  <doc title=\"FDSN station web service of the station catalogue\">The level response is answered as "
           "channel, without Response elements: the catalogue holds no responses.</doc>\n"
           "  <resources base=\"" + root + "\">\n"
           "    <resource path=\"query\">\n"
           "      <method name=\"GET\" id=\"query\">\n"
           "        <request>\n" + params +
           "        <param name=\"level\" style=\"query\" type=\"xs:string\" default=\"station\">\n"
           "          <option value=\"network\"/><option value=\"station\"/><option value=\"channel\"/>"
           "<option value=\"response\"/>\n"
           "        </param>\n"
           "        <param name=\"format\" style=\"query\" type=\"xs:string\" default=\"xml\">\n"
           "          <option value=\"xml\" mediaType=\"application/xml\"/><option value=\"text\" "
           "mediaType=\"text/plain\"/>\n"
           "        </param>\n"
           "        <param name=\"nodata\" style=\"query\" type=\"xs:int\" default=\"204\">\n"
           "          <option value=\"204\"/><option value=\"404\"/>\n"
           "        </param>\n"
           "        </request>\n"
           "        <response status=\"200\"><representation mediaType=\"application/xml\"/>"
           "<representation mediaType=\"text/plain\"/></response>\n"
           "        <response status=\"204 400 404 413 500 503\"><representation mediaType=\"text/plain\"/></response>\n"
           "      </method>\n"
           "      <method name=\"POST\" id=\"postQuery\">\n"
           "        <response status=\"200\"><representation mediaType=\"application/xml\"/>"
           "<representation mediaType=\"text/plain\"/></response>\n"
           "      </method>\n"
           "    </resource>\n"
           "    <resource path=\"version\"><method name=\"GET\"><response><representation mediaType=\"text/plain\"/>"
           "</response></method></resource>\n"
           "    <resource path=\"application.wadl\"><method name=\"GET\"><response><representation "
           "mediaType=\"application/xml\"/></response></method></resource>\n"
           "  </resources>\n"
           "</application>\n";
}

std::string HtmlPage(const std::string& network) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>FDSN station web service</title>"
           "</head>\n<body>\n<h1>FDSN station web service</h1>\n"
           "<p>The station catalogue of network " + network + " (fdsnws-station " + kServiceVersion +
           "), read live from its CSS 3.0 database.</p>\n<ul>\n"
           "<li><a href=\"query?level=station&amp;format=text\">query?level=station&amp;format=text</a>: every station</li>\n"
           "<li><a href=\"query?level=channel\">query?level=channel</a>: every channel as StationXML</li>\n"
           "<li><a href=\"version\">version</a></li>\n"
           "<li><a href=\"application.wadl\">application.wadl</a>: the parameters</li>\n"
           "</ul>\n</body></html>\n";
}

}  // namespace

int RunStationServe(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (const auto status = AnswerInformationRequest(argc, argv, "station-serve", WriteHelp, out)) return *status;
    const std::optional<ServeArguments> asked = ReadServeArguments(argc, argv, err);
    if (!asked) return ExitStatus::CouldNotRun;

    const ToolSettings settings = ResolveToolSettings(asked->connection);
    const std::string network = DefaultNetworkCode(asked->network, settings.profile);

    // One connection at start, to find the database (the personal one may
    // stand in) and to report a wrong setting at once.
    const OpenRequest readOnly = ReadOnlyOpenRequest();
    std::string connectString;
    {
        CDatabase probe;
        const OpenOutcome outcome = OpenChosenDatabase(probe, settings.database, readOnly);
        if (!outcome.open) {
            err << "Не удалось подключиться к базе данных: " << outcome.failure << '\n';
            return ExitStatus::CouldNotRun;
        }
        connectString = outcome.connectString + readOnly.extraKeys;
    }

    // SIGINT and SIGTERM are taken by a thread of their own, which stops the
    // server; the server's threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Service service(connectString, readOnly.options, network, err);
    httplib::Server server;
    server.set_payload_max_length(kBodyLimit);
    server.set_read_timeout(kTimeoutSeconds);
    server.set_write_timeout(kTimeoutSeconds);
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server.set_keep_alive_max_count(kKeepAliveRequests);
    server.set_keep_alive_timeout(5);
    server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.status == 413) return Fail(res, 413, "The request is larger than the service takes.", req);
        if (res.status == 404 && res.body.empty()) return Fail(res, 404, "No such resource: " + req.path, req);
    });
    server.set_exception_handler([&err](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
        err << "station-serve: " << req.path << ": unexpected failure\n";
        Fail(res, 500, "The request could not be answered.", req);
    });
    const std::string query = std::string(kBase) + "query";
    server.Get(query, [&service](const httplib::Request& req, httplib::Response& res) {
        std::optional<FdsnQuery> request;
        try {
            request = ReadFdsnQuery(ParametersOf(req));
        } catch (const FdsnParameterError& e) {
            return Fail(res, 400, e.what(), req);
        }
        service.Query(req, res, *request);
    });
    server.Post(query, [&service](const httplib::Request& req, httplib::Response& res) {
        std::optional<FdsnQuery> request;
        try {
            request = ReadFdsnPostBody(req.body);
        } catch (const FdsnParameterError& e) {
            return Fail(res, 400, e.what(), req);
        }
        service.Query(req, res, *request);
    });
    server.Get(std::string(kBase) + "version", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kServiceVersion, "text/plain");
    });
    server.Get(std::string(kBase) + "application.wadl", [](const httplib::Request& req, httplib::Response& res) {
        const std::string host = req.get_header_value("Host");
        res.set_content(Wadl((host.empty() ? std::string() : "http://" + host) + kBase), "application/xml");
    });
    const auto page = [network](const httplib::Request&, httplib::Response& res) {
        res.set_content(HtmlPage(network), "text/html; charset=utf-8");
    };
    server.Get(kBase, page);
    server.Get("/fdsnws/station/1", page);

    const int port = asked->port == 0 ? server.bind_to_any_port(asked->host)
                                      : (server.bind_to_port(asked->host, asked->port) ? asked->port : -1);
    if (port < 0) {
        err << "station-serve: не удалось слушать " << asked->host << ':' << asked->port << '\n';
        return ExitStatus::CouldNotRun;
    }
    const bool v6 = asked->host.find(':') != std::string::npos;
    out << "station-serve: http://" << (v6 ? "[" + asked->host + "]" : asked->host) << ':' << port << kBase
        << std::endl;

    std::thread stopper([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    const bool served = server.listen_after_bind();
    // A stop not from a signal (the listening socket failed): the waiting
    // thread is woken by a signal of our own.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return served ? ExitStatus::Clean : ExitStatus::CouldNotRun;
}
