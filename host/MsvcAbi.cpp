#include "host/MsvcAbi.h"

namespace host {

std::string UndecorateTypeName(std::string_view decorated) {
    constexpr std::string_view kClass = ".?AV", kStruct = ".?AU", kEnd = "@@";
    const bool isClass = decorated.starts_with(kClass);
    if (!isClass && !decorated.starts_with(kStruct)) return {};
    const std::string_view name = decorated.substr(kClass.size());
    const std::size_t end = name.find(kEnd);
    if (end == std::string_view::npos || end == 0 || name.substr(0, end).find('@') != std::string_view::npos) return {};
    return std::string(isClass ? "class " : "struct ") + std::string(name.substr(0, end));
}

}  // namespace host
