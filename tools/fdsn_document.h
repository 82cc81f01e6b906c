#pragma once
// The document the station web service answers for a selection: the
// export's StationXML or text writers at the asked level.

#include <string>

#include "tools/catalogue.h"
#include "tools/fdsn_query.h"
#include "tools/network_codes.h"

// A response body and its media type.
struct FdsnDocument {
    std::string contentType;
    std::string body;
};

// The document of `selected` (as SelectFdsn answers it) under each station's
// network code,
// created at `created` ("YYYY-MM-DDTHH:MM:SSZ"). The station and channel
// levels are the export's documents of the same stations.
FdsnDocument WriteFdsnDocument(const Catalogue& selected, const FdsnQuery& query, const NetworkCodes& networks,
                               const std::string& created);
