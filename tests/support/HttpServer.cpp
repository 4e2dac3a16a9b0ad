#include "HttpServer.h"

HttpServer::HttpServer(const std::string& directory)
{
    Start({"-m", "http.server", "--bind", "127.0.0.1", "--directory", directory, "0"}, " port ");
}

std::string HttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(Port()) + "/" + path;
}
