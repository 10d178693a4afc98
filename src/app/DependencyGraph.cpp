#include "app/DependencyGraph.h"

#include <set>

namespace ombrix::DependencyGraph {

const std::vector<std::string>& buildOrder() {
    static const std::vector<std::string> order{
        "Logging",          "EventBus",         "TaskQueue",       "AppSettings",
        "ServiceContainer", "ContractRegistry", "ContractBuilder", "AllContracts"};
    return order;
}

bool validate() {
    const auto& order = buildOrder();
    return order.size() == 8 && std::set<std::string>(order.begin(), order.end()).size() == 8;
}

} // namespace ombrix::DependencyGraph
