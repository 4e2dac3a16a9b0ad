// tansu-cli gameinfo against a catalogue on loopback, with the program's own setting.ini and cache.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "CliRunner.h"
#include "gameinfo/CataloguePages.h"
#include "support/HttpServer.h"
#include "support/TestSupport.h"

namespace {

// One line per result: source, code, title, price (null as "null").
std::string JsonResults(const std::string& out)
{
    std::string text;
    for (const QJsonValue& value : QJsonDocument::fromJson(QByteArray::fromStdString(out))["results"].toArray()) {
        const QJsonObject result = value.toObject();
        for (const char* key : {"source", "code", "title", "price"}) {
            text += (result[key].isNull() ? "null" : result[key].toString().toStdString()) + (key[0] == 'p' ? "\n" : " ");
        }
    }
    return text;
}

TEST(CliGameInfo, ShowsThePaneFromTheCacheOrTheCatalogueTheSettingsNameAndFailsWithoutAPage)
{
    setenv("no_proxy", "127.0.0.1", 1);
    TempDir temp;
    const std::string program = temp / "program/", site = temp / "site/";
    WriteText(site + "software/title/slps25001.html",
              Encode(JoinLines(PageLines({"ゲーム", "メーカー", "DVD", "アクション", "5,800円", "2004年"})), "EUC-JP"));
    WriteText(site + "mirror/software/title/slps25002.html", JoinLines(PageLines({"MIRROR", "M", "F", "G", "1", "D"})));
    const HttpServer server(site);
    std::filesystem::create_directories(program);
    std::filesystem::copy_file(TANSU_CLI_PATH, program + "tansu-cli");
    WriteText(program + "setting.ini", "[Tansu]\r\nCATALOGUE_URL=" + server.Url("software/title/") +
                                           "\r\nCATALOGUE_MIRROR_URL=" + server.Url("mirror/software/title/") + "\r\n");
    WriteText(program + "softdata.ini", "[slps25000]\r\nTITLE=ＴＩＴＬＥ\tX\r\nGENRE=G\r\nSALE_DATE=D\r\nMAKER=M\r\n");
    const CliOptions options{.program = program + "tansu-cli", .environment = {}};

    // Offline: the cache only; a tab in a value is escaped as in every plain output.
    CliRun run = RunCli({"gameinfo", "BISLPS-25000", "BISLPS-25001", "NOCODE"}, options);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "TITLE\\tX\nG D\nM\n\n\n \n\n\n\n \n\n\n");

    run = RunCli({"gameinfo", "--online", "--json", "BISLPS-25000", "BISLPS-25001XYZ", "NOCODE", "BISLPS-25009"}, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(JsonResults(run.out), "cache slps25000 ＴＩＴＬＥ\tX null\ninternet slps25001 ゲーム 5800\n"
                                    "none  null null\nfailed slps25009 null null\n");
    EXPECT_TRUE(run.Says("GameDataWorker::FromInternet() : htmlを取得できませんでした"));
    // The page went into the program's cache: known offline from now on.
    EXPECT_EQ(JsonResults(RunCli({"gameinfo", "--json", "BISLPS-25001"}, options).out), "cache slps25001 ゲーム 5800\n");

    EXPECT_EQ(RunCli({"gameinfo", "--online", "--proxy", "BASLPS-25002"}, options).out, "MIRROR\nG D\nM\n\n");
    run = RunCli({"gameinfo", "--cache", temp / "other.ini", "--catalogue", server.Url("none/"), "--online", "BISLPS-25001"},
                 options);
    EXPECT_EQ(run.exitCode, 1);

    for (const std::vector<std::string>& usage : {std::vector<std::string>{"gameinfo"}, {"list", "pc", "x", "--online"},
                                                  {"gameinfo", "--cache=", "BISLPS-25001"}}) {
        EXPECT_EQ(RunCli(usage, options).exitCode, 2) << usage.back();
    }
}

}  // namespace
