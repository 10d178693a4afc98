#include "cli/Command.h"
#include "contracts/Contract.h"
#include "contracts/ContractBuilder.h"
#include "contracts/ContractGroups.h"
#include "contracts/ContractRegistry.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace ombrix::cli {

namespace {

int runContracts(const std::vector<std::string>& args, Io& io) {
    if (!args.empty()) {
        io.err << "ombrix contracts: unexpected argument '" << args.front() << "'\n"
               << "Usage: ombrix contracts\n";
        return kExitUsage;
    }
    ContractRegistry registry;
    ContractBuilder builder(registry);
    AllContracts::registerWith(builder);
    // No handlers exist here, so the registry is finished but not validated.
    builder.finish();

    // The registry keeps its contracts ordered by raw value already.
    auto list = nlohmann::json::array();
    for (const auto& [id, contract] : registry.contracts()) {
        list.push_back(toJSON(contract));
    }
    io.out << list.dump(2) << "\n";
    return kExitOk;
}

const CommandRegistration registration{Command{
    "contracts",
    "",
    "Print the declared action contracts as JSON, sorted by action id",
    runContracts,
}};

} // namespace

} // namespace ombrix::cli
