#include "platform/windows/sids.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace tagpolish {
namespace {

using Sid = std::vector<unsigned char>;

constexpr std::uint32_t first_id = 1000;

Sid well_known(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
    sid.resize(size);
    return sid;
}

const Sid& administrators() {
    static const Sid sid = well_known(WinBuiltinAdministratorsSid);
    return sid;
}

const Sid& local_system() {
    static const Sid sid = well_known(WinLocalSystemSid);
    return sid;
}

// The bytes of a valid SID, which are the same for two SIDs just when
// EqualSid finds them equal.
Sid bytes_of(PSID sid) {
    Sid bytes(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(bytes.size()), bytes.data(), sid)) return {};
    return bytes;
}

struct Table {
    std::mutex lock;
    std::map<Sid, std::uint32_t> ids;
    std::vector<Sid> sids;  // sids[i] has the number first_id + i
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

std::uint32_t id_of_sid(const void* sid) {
    const PSID given = const_cast<void*>(sid);
    if (given == nullptr || !IsValidSid(given)) return no_sid_id;
    Sid bytes = bytes_of(given);
    if (bytes.empty()) return no_sid_id;
    if (bytes == administrators() || bytes == local_system()) return 0;
    Table& t = table();
    const std::lock_guard<std::mutex> hold(t.lock);
    const auto [at, added] =
        t.ids.try_emplace(bytes, first_id + static_cast<std::uint32_t>(t.sids.size()));
    if (added) t.sids.push_back(std::move(bytes));
    return at->second;
}

bool sid_of_id(std::uint32_t id, std::vector<unsigned char>& sid) {
    if (id == 0) {
        sid = administrators();
        return !sid.empty();
    }
    Table& t = table();
    const std::lock_guard<std::mutex> hold(t.lock);
    if (id < first_id || id - first_id >= t.sids.size()) return false;
    sid = t.sids[id - first_id];
    return true;
}

}  // namespace tagpolish
