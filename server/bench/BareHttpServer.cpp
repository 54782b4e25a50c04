// The HTTP layer alone: every request answered with one fixed JSON reply, on as many
// threads as quillo-cloud uses by default. The ceiling the service's figures are read
// against in http-load.sh.
#include <restinio/all.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillo_bench_bare_http PORT\n");
        return 2;
    }
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
    restinio::run(restinio::on_thread_pool(2)
                      .port(port)
                      .address("127.0.0.1")
                      .request_handler([](const restinio::request_handle_t& request) {
                          return request->create_response()
                              .append_header(restinio::http_field::content_type, "application/json")
                              .set_body(R"({"version":"0.1.0"})")
                              .done();
                      }));
    return 0;
}
