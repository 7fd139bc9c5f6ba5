// Attaching a device to its array: the filer alias search over the host's
// arrays, the credentials read, and the endpoint settings.
#include <gtest/gtest.h>

#include "arraysim/model/ArraySeed.h"
#include "tests/device/DeviceFixture.h"
#include "tests/fakes/FakeArray.h"

namespace {

using devicetest::DeviceFixture;
using fakehost::ScriptedAnswer;

// Two arrays the host lists for "Hitachi NAS": hnasA serves 192.0.2.1 as
// "evsA"; hnasB serves 10.0.0.9 and 127.0.0.1 as "evsb.invalid".
struct AliasFixture : DeviceFixture {
    fakearray::FakeArrayScope array;

    AliasFixture() {
        addArray("hnasA", "userA", "pwA-Secret", "evsA", {"192.0.2.1"}, 11);
        addArray("hnasB", "userB", "pwB-Secret", "evsb.invalid", {"10.0.0.9", "127.0.0.1"}, 12);
        util.arrayList.value = "hnasA|hnasB";
    }
    void addArray(const std::string& name, const std::string& user, const std::string& password,
                  const std::string& evsName, std::vector<std::string> addresses, int hostId) {
        arraymodel::Array& a = array.addArray(name, user, password);
        arraymodel::VirtualServer evs;
        evs.id = 1;
        evs.name = evsName;
        evs.ipAddresses = std::move(addresses);
        EXPECT_TRUE(arraymodel::addVirtualServer(a, evs).ok());
        util.arrayInfoByName[name].value = "{arrayId:" + evsName + ",hostName:ctl-" + name + ",hostUserName:" +
                                           user + ",hostPassword:" + password + ",hostid:" + std::to_string(hostId) +
                                           "}";
    }
    std::string aliases;
    std::string matched;
    bool search(const std::string& filer) {
        return device(HNAS_SNAP_OP_PREPARE)->getFilerAliases(filer, aliases, matched);
    }
};

TEST(FilerAliases, MatchByResolvedAddress) {
    AliasFixture f;
    ASSERT_TRUE(f.search("localhost"));
    EXPECT_EQ("10.0.0.9|127.0.0.1|evsb.invalid|localhost", f.aliases);
    EXPECT_EQ("hnasB", f.matched);
    EXPECT_TRUE(f.log.has(0, "[localhost] resolves to [127.0.0.1]"));
    EXPECT_TRUE(f.log.has(0, "Found filer:[hnasB] corresponding to input filer:[127.0.0.1]"));
    EXPECT_EQ((std::vector<std::string>{"init", "getVirtualServerInfo", "init", "getVirtualServerInfo"}),
              f.array.operations());
    EXPECT_EQ(std::vector<std::string>{"Hitachi NAS"}, f.util.listArraysVendors);
}

TEST(FilerAliases, MatchByServerNameWhenTheFilerDoesNotResolve) {
    AliasFixture f;
    ASSERT_TRUE(f.search("evsb.invalid"));
    EXPECT_EQ("10.0.0.9|127.0.0.1|evsb.invalid|evsb.invalid", f.aliases);
    EXPECT_TRUE(f.log.has(-1, "Unable to get the IP addrress for Host[evsb.invalid]"));
}

TEST(FilerAliases, NoMatchLeavesTheOutputsAlone) {
    AliasFixture f;
    f.aliases = "before";
    f.matched = "before";
    EXPECT_FALSE(f.search("192.0.2.200"));
    EXPECT_EQ("before", f.aliases);
    EXPECT_EQ("before", f.matched);
}

TEST(FilerAliases, ArrayListSeparators) {
    struct Case {
        std::string list;
        int names;
        bool found;
    };
    // An empty name reads no array information, which ends the search.
    const Case cases[] = {{"", 0, false}, {"hnasB|", 1, true}, {"hnasA||hnasB", 3, false}, {"|hnasB", 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        AliasFixture f;
        f.util.arrayList.value = c.list;
        EXPECT_EQ(c.found, f.search("127.0.0.1"));
        EXPECT_TRUE(f.log.has(3, "Array list size: [" + std::to_string(c.names) + "] "));
    }
}

TEST(FilerAliases, SkipsArraysWhoseServerCannotBeReadOrHasNoAddress) {
    AliasFixture f;
    f.array.failNext("getVirtualServerInfo");
    ASSERT_TRUE(f.search("127.0.0.1"));
    EXPECT_TRUE(f.log.has(-1, "Unable to get the virtual server info for evsA. Continuing the search with other arrays.."));

    AliasFixture empty;
    empty.array.array("hnasA")->virtualServers[0].ipAddresses.clear();
    ASSERT_TRUE(empty.search("127.0.0.1"));
    EXPECT_TRUE(empty.log.has(-1, "Array IP's are empty for evsA. Continuing the search with other arrays.."));
}

TEST(FilerAliases, UnparsableArrayInformationEndsTheSearch) {
    AliasFixture f;
    f.util.arrayInfoByName["hnasA"].value = "{arrayId:evsA,hostName:ctl}";
    EXPECT_FALSE(f.search("127.0.0.1"));
    EXPECT_TRUE(f.hostLogged(2, "HNASSnapDevice::getFilerAliasesError:Unable to parse array info."));
    EXPECT_EQ(0, f.array.count("init"));
}

TEST(FilerAliases, OneRetryBudgetServesTheWholeSearch) {
    AliasFixture f;
    f.util.arrayList.script = {ScriptedAnswer::tooSmall(5000), ScriptedAnswer::tooSmall(6000),
                               ScriptedAnswer::tooSmall(7000)};
    f.util.arrayInfoByName["hnasA"].script = {ScriptedAnswer::tooSmall(9000)};
    EXPECT_FALSE(f.search("127.0.0.1"));
    EXPECT_EQ((std::vector<int>{4096, 5000, 6000, 7000}), f.util.arrayList.sizesOffered);
    EXPECT_EQ((std::vector<int>{7000}), f.util.arrayInfoByName["hnasA"].sizesOffered);   // no retry left
    for (int size : {5000, 6000, 7000})
        EXPECT_TRUE(f.log.has(1, "Going to retry with new size [" + std::to_string(size) + "]"));
}

TEST(FilerAliases, AnArrayListLongerThanAShortStillLetsTheInformationBeRead) {
    AliasFixture f;
    f.util.arrayList.value = "hnasA|hnasB|" + std::string(40000, 'x');   // a list of 3 names
    ASSERT_TRUE(f.search("127.0.0.1"));
    EXPECT_EQ("hnasB", f.matched);
    EXPECT_EQ(32766, f.util.arrayInfoByName["hnasA"].sizesOffered.front());
}

TEST(FilerAliases, AnArrayListSizeThatDoesNotFitEndsTheRead) {
    AliasFixture f;
    f.util.arrayList.script = {ScriptedAnswer::tooSmall(2147483647)};
    EXPECT_FALSE(f.search("127.0.0.1"));
    EXPECT_EQ(1, f.util.arrayList.calls);
}

// A port the host does not have, and a port of 0 it does have (no port can
// be connected to there), both become 8444, as in every other endpoint.
TEST(FilerAliases, EndpointFallsBackToTheControlHostAndPort8444) {
    for (bool portZero : {false, true}) {
        SCOPED_TRACE(portZero ? "port 0 configured" : "no port configured");
        AliasFixture f;
        f.util.configInts[{11, QZSO::kMetroServerPortConfig}] = 9999;
        f.util.configStrings[{11, QZSO::kMetroServerIpConfig}].value = "198.51.100.7";
        if (portZero) f.util.configInts[{12, QZSO::kMetroServerPortConfig}] = 0;
        ASSERT_TRUE(f.search("127.0.0.1"));
        const auto inits = f.array.callsOf("init");
        ASSERT_EQ(2u, inits.size());
        EXPECT_EQ((std::vector<std::string>{"userA", "FILE", "ctl-hnasA", "198.51.100.7", "9999"}),
                  inits[0].arguments);
        EXPECT_EQ((std::vector<std::string>{"userB", "FILE", "ctl-hnasB", "ctl-hnasB", "8444"}), inits[1].arguments);
    }
}

TEST(SetArrayInfo, AttachesThroughTheAliasListWhenTheNameIsUnknown) {
    AliasFixture f;
    f.snap.knowArray("evsb.invalid", devicetest::kArrayInfo);
    std::string filer = "localhost";
    ASSERT_TRUE(f.device(HNAS_SNAP_OP_PREPARE)->setArrayInfo(filer));
    EXPECT_EQ((std::vector<std::string>{"localhost", "10.0.0.9|127.0.0.1|evsb.invalid|localhost"}),
              f.snap.setArrayNameArguments);
    EXPECT_EQ("evsb.invalid", f.snap.arrayName);
    EXPECT_EQ("localhost", filer);
}

TEST(SetArrayInfo, FailsWhenNoAliasIsKnownToTheHost) {
    AliasFixture f;
    std::string filer = "localhost";
    EXPECT_FALSE(f.device(HNAS_SNAP_OP_PREPARE)->setArrayInfo(filer));
    EXPECT_TRUE(f.log.has(-1, "Error:Unable to set the login credentials for filer [localhost]"));
}

TEST(PrePrepare, AFilerKnownOnlyByAnAliasStillPrepares) {
    AliasFixture f;
    f.snap.knowArray("evsb.invalid", devicetest::kArrayInfo);
    f.snap.sourceDevice = "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:localhost}";
    auto device = f.device(HNAS_SNAP_OP_PREPARE);
    ASSERT_TRUE(device->prePrepareDevice());
    EXPECT_EQ("localhost", device->getDeviceInfo().targetHostName);
    EXPECT_EQ("hnas1", device->getDeviceInfo().arrayId);
}

TEST(ArrayConfigValues, ReadsTheAttachedArraysEndpoint) {
    DeviceFixture f;
    _HNASArrayConfigs configs;
    EXPECT_TRUE(f.device(HNAS_SNAP_OP_SNAP)->getArrayConfigValues(configs));
    EXPECT_EQ(8444, configs.metroServerPort);
    EXPECT_EQ("", configs.metroServerIP);
    EXPECT_TRUE(f.hostLogged(1, "Unable to get the Metro Server Port from the array config."));
    EXPECT_TRUE(f.hostLogged(2, "Unable to get the Metro Server IP from the array config."));
    EXPECT_TRUE(f.hostLogged(1, "Metro Server array config values are not entered."));

    DeviceFixture set;
    set.snap.arrayConfigInts[QZSO::kMetroServerPortConfig] = 7443;
    set.snap.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = "203.0.113.5";
    EXPECT_TRUE(set.device(HNAS_SNAP_OP_SNAP)->getArrayConfigValues(configs));
    EXPECT_EQ(7443, configs.metroServerPort);
    EXPECT_EQ("203.0.113.5", configs.metroServerIP);
    EXPECT_TRUE(set.log.has(0, "Successfully got the array config values"));
}

}  // namespace
