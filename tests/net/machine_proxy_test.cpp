// How the machine's Internet settings become libcurl's proxy: which entry of a proxy list a URL
// scheme gets, what a bypass list becomes, the host a URL is resolved for, and what the log may
// show of a proxy list.
#include "net/machine_proxy.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

using net_proxy::CurlProxy;

TEST(MachineProxy, TheEntryOfAProxyListForAScheme) {
    const struct {
        const wchar_t* list;
        const wchar_t* scheme;
        bool direct;
        const char* proxy;
        long type;
    } cases[] = {
        {L"", L"https", true, "", 0},
        {L"proxy.corp:8080", L"https", false, "proxy.corp:8080", CURLPROXY_HTTP},
        {L"http=a:80;https=b:443", L"https", false, "b:443", CURLPROXY_HTTP},
        {L"http=a:80;https=b:443", L"http", false, "a:80", CURLPROXY_HTTP},
        {L"HTTPS=b:443 ftp=c:21", L"https", false, "b:443", CURLPROXY_HTTP},
        {L"ftp=c:21;socks=s:1080", L"https", false, "s:1080", CURLPROXY_SOCKS4},
        {L"ftp=c:21", L"https", true, "", 0},
        {L"user:secret@proxy.corp:8080", L"http", false, "proxy.corp:8080", CURLPROXY_HTTP},
        {L"https=me:pw@b:443;any:3128", L"https", false, "b:443", CURLPROXY_HTTP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.list)) + " " +
                     testing::PrintToString(std::wstring(c.scheme)));
        const CurlProxy proxy = net_proxy::fromProxyList(c.list, c.scheme);
        EXPECT_EQ(proxy.direct, c.direct);
        EXPECT_EQ(proxy.proxy, c.proxy);
        if (!c.direct) {
            EXPECT_EQ(proxy.type, c.type);
        }
    }
}

TEST(MachineProxy, ABypassListInLibcurlsForm) {
    const struct {
        const wchar_t* bypass;
        const char* noProxy;
    } cases[] = {
        {L"", ""},
        {L"<local>", ""},
        {L"intranet.corp", "intranet.corp"},
        {L"*.corp.example;Files.Example.COM", "corp.example,files.example.com"},
        {L"a.test b.test,c.test", "a.test,b.test,c.test"},
        {L"10.*;*internal*;<local>;ok.test", "ok.test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.bypass)));
        EXPECT_EQ(net_proxy::noProxyList(c.bypass), c.noProxy);
    }
}

TEST(MachineProxy, TheHostAUrlIsResolvedFor) {
    const struct {
        const char* url;
        bool ok;
        const wchar_t* scheme;
        const wchar_t* host;
    } cases[] = {
        {"https://CDN.Example.test/download/x.exe", true, L"https", L"cdn.example.test"},
        {"http://host.test:8080", true, L"http", L"host.test"},
        {"https://user:pw@host.test/", true, L"https", L"host.test"},
        {"https://[::1]:443/x", true, L"https", L"[::1]"},
        {"https://host.test?q=a/b", true, L"https", L"host.test"},
        {"no scheme", false, L"", L""},
        {"https:///path", false, L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        std::wstring scheme, host;
        EXPECT_EQ(net_proxy::schemeAndHost(c.url, scheme, host), c.ok);
        if (c.ok) {
            EXPECT_EQ(scheme, c.scheme);
            EXPECT_EQ(host, c.host);
        }
    }
}

TEST(MachineProxy, TheLogNeverShowsACredential) {
    EXPECT_EQ(net_proxy::withoutCredentials(L"user:secret@proxy:8080"), L"proxy:8080");
    EXPECT_EQ(net_proxy::withoutCredentials(L"http=u:p@a:80;https=b:443"),
              L"http=a:80;https=b:443");
    EXPECT_EQ(net_proxy::withoutCredentials(L""), L"");
}

}  // namespace
