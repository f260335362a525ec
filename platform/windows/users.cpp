// Users on Windows are SIDs, numbered by platform/windows/sids.h; the
// superuser is a process that may act as an administrator.
#include "platform/users.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/windows/sids.h"
#include "platform/windows/utf16.h"

namespace tagpolish {
namespace {

class Token {
  public:
    Token() {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &handle_)) handle_ = nullptr;
    }
    ~Token() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

std::uint32_t user_of_token() {
    const Token token;
    DWORD size = 0;
    if (token.get() == nullptr) return no_sid_id;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size))
        return no_sid_id;
    return id_of_sid(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

// Whether the thread's token holds sid enabled: a group that only denies,
// such as Administrators in a token that is not elevated, does not count.
bool token_holds(std::vector<unsigned char>& sid) {
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, sid.data(), &member) && member;
}

}  // namespace

// The process keeps the token it started with.
std::uint32_t effective_user() {
    static const std::uint32_t user = user_of_token();
    return user;
}

bool acts_as_superuser() {
    static const bool superuser = [] {
        std::vector<unsigned char> sid;
        return sid_of_id(0, sid) && token_holds(sid);
    }();
    return superuser;
}

// The token holds the user's own SID too, which may stand as a file's
// group.
bool in_group(std::uint32_t group) {
    if (group == effective_user() && group != no_sid_id) return true;
    std::vector<unsigned char> sid;
    return sid_of_id(group, sid) && token_holds(sid);
}

// LookupAccountSidW, as workers ask at the same time.
std::string user_name(std::uint32_t uid) {
    std::vector<unsigned char> sid;
    if (!sid_of_id(uid, sid)) return std::to_string(uid);
    std::wstring name(256, L'\0'), domain(256, L'\0');
    for (;;) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD domain_size = static_cast<DWORD>(domain.size());
        SID_NAME_USE use{};
        if (LookupAccountSidW(nullptr, sid.data(), name.data(), &name_size, domain.data(),
                              &domain_size, &use)) {
            name.resize(name_size);
            domain.resize(domain_size);
            break;
        }
        const bool larger = name_size > name.size() || domain_size > domain.size();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || !larger) return std::to_string(uid);
        name.resize(std::max<std::size_t>(name_size, name.size()));
        domain.resize(std::max<std::size_t>(domain_size, domain.size()));
    }
    if (name.empty()) return std::to_string(uid);
    return domain.empty() ? utf8_of(name) : utf8_of(domain + L'\\' + name);
}

}  // namespace tagpolish
