// The one place that knows every ice: names, kinds and how each is made.
#include "kelvosim/icekind.h"

#include <cstring>

#include "kelvosim/classic/classicice.h"
#include "kelvosim/fcv1/fcv1ice.h"
#include "kelvosim/ice.h"

namespace Kelvo {

const char* iceName(IceKind ice) { return ice == IceKind::FCV1 ? "fcv1" : "classic"; }

bool parseIceName(const char* name, IceKind& ice) {
    const auto& kinds = iceKindsByName();
    const auto it = kinds.find(name);
    if (it == kinds.end())
        return false;
    ice = it->second;
    return true;
}

const std::map<std::string, IceKind>& iceKindsByName() {
    static const std::map<std::string, IceKind> kinds{{"classic", IceKind::CLASSIC}, {"fcv1", IceKind::FCV1}};
    return kinds;
}

namespace {

IceRules rulesOfKind(IceKind kind) { return kind == IceKind::FCV1 ? dc3Rules() : classicRules(); }

std::shared_ptr<const Ice> iceOfKind(IceKind kind, const IceRules& rules, bool withTables) {
    if (kind == IceKind::FCV1)
        return std::make_shared<const Fcv1Ice>(kind, rules,
                                               withTables ? std::make_shared<const Fcv1Tables>() : nullptr);
    return std::make_shared<const ClassicIce>(kind, rules, withTables ? buildMotionTables() : nullptr);
}

std::shared_ptr<const Ice> iceOfKind(IceKind kind, bool withTables) {
    return iceOfKind(kind, rulesOfKind(kind), withTables);
}

}  // namespace

std::shared_ptr<const Ice> makeIce(IceKind kind) { return iceOfKind(kind, true); }

std::shared_ptr<const Ice> makeIce(IceKind kind, const IceRules& rules) { return iceOfKind(kind, rules, true); }

const Ice& sheetOf(IceKind kind) {
    static const std::shared_ptr<const Ice> sheets[] = {iceOfKind(IceKind::CLASSIC, false),
                                                        iceOfKind(IceKind::FCV1, false)};
    return *sheets[kind == IceKind::FCV1 ? 1 : 0];
}

}  // namespace Kelvo
