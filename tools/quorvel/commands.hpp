// The subcommands of quorvel.  Each takes its own name as argv[0], answers
// --help and returns an Exit code.
#pragma once

namespace qcli {

int run_hash(int argc, char **argv);
int run_hmac(int argc, char **argv);
int run_aes(int argc, char **argv);
int run_base64(int argc, char **argv);
int run_hex(int argc, char **argv);
int run_selftest(int argc, char **argv);
int run_speed(int argc, char **argv);
int run_net(int argc, char **argv);
int run_resolve(int argc, char **argv);
int run_mask(int argc, char **argv);
int run_broadcast(int argc, char **argv);
int run_ini(int argc, char **argv);
int run_json(int argc, char **argv);
int run_time(int argc, char **argv);
int run_run(int argc, char **argv);
int run_tour(int argc, char **argv);

}  // namespace qcli
