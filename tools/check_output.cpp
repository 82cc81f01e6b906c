#include "tools/check_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

void WriteFindingsText(std::ostream& out, const std::vector<Finding>& findings, const CheckSummary& summary) {
    size_t errors = 0;
    for (const Finding& f : findings) {
        out << (f.station.empty() ? "(NULL)" : f.station) << ' ' << (f.channel.empty() ? "-" : f.channel) << ' '
            << SeverityName(f.severity) << ' ' << f.rule << ": " << f.message << '\n';
        if (f.severity == Severity::Error) ++errors;
    }
    out << "Проверено станций: " << summary.stations << ", каналов: " << summary.channels << ". ";
    if (findings.empty())
        out << "Замечаний нет.\n";
    else
        out << "Ошибок: " << errors << ", предупреждений: " << findings.size() - errors << ".\n";
}

std::string FindingsJson(const std::vector<Finding>& findings, const CheckSummary& summary) {
    const auto utf8 = [](const std::string& s) { return QString::fromStdString(s); };
    QJsonArray list;
    for (const Finding& f : findings)
        list.append(QJsonObject{{"station", utf8(f.station)},
                                {"channel", utf8(f.channel)},
                                {"rule", utf8(f.rule)},
                                {"severity", QString::fromLatin1(SeverityName(f.severity))},
                                {"message", utf8(f.message)}});
    const QJsonObject root{{"stations", static_cast<qint64>(summary.stations)},
                           {"channels", static_cast<qint64>(summary.channels)},
                           {"findings", list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}
