#include "PipelinedPoplib.h"

#include "PoplibReference.h"

namespace toppeek::bench {

namespace {

// The login stays lock-step, as in every client: a server may drop what follows a PASS it has
// not yet accepted.
const char* const kPipelinedScript = R"(
import poplib, ssl, sys, time
host, port, user, password, runs, cafile, count = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5]), sys.argv[6], int(sys.argv[7])
context = None
if cafile:
    context = ssl.create_default_context(cafile=cafile)
    assert context.check_hostname and context.verify_mode == ssl.CERT_REQUIRED
commands = [b'CAPA', b'STAT', b'UIDL']
for n in range(1, count + 1):
    commands += [b'LIST %d' % n, b'TOP %d 0' % n]
commands.append(b'QUIT')
batch = b''.join(c + b'\r\n' for c in commands)
for _ in range(runs):
    start = time.perf_counter()
    p = poplib.POP3_SSL(host, port, context=context) if context else poplib.POP3(host, port)
    p.user(user)
    p.pass_(password)
    p.sock.sendall(batch)
    p._getlongresp()
    assert int(p._getresp().split()[1]) >= count
    p._getlongresp()
    for n in range(count):
        p._getresp()
        p._getlongresp()
    p._getresp()
    p.close()
    print(time.perf_counter() - start, flush=True)
)";

} // namespace

std::vector<double> timePipelinedPoplibCheck(int port, const std::string& user,
                                             const std::string& password, int runs, long messages,
                                             const std::string& caFile) {
    const std::vector<std::string> argv{
        "python3", "-c",     kPipelinedScript,     "127.0.0.1", std::to_string(port),
        user,      password, std::to_string(runs), caFile,      std::to_string(messages)};
    return runTimedScript(argv, "pipelined poplib");
}

} // namespace toppeek::bench
