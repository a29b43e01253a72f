#!/bin/sh
# Reading a large Optuna study from a local PostgreSQL server: vantix-convert
# from the URL against psql's own \copy of the same rows to /dev/null, in
# alternated rounds; prints the medians, their ratio and vantix-convert's
# peak memory; then the study opened above the memory budget (slice_bench).
# Starts a private server in a temporary folder (as "nobody"
# when run as root) and removes it afterwards.
#   bench/study_server/run.sh [BUILD_DIR] [TRIALS] [ROUNDS]
set -eu
build=${1:-build}
trials=${2:-1000000}
rounds=${3:-5}
convert=$(realpath "$build/bin/vantix-convert")
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
dir=$(mktemp -d /tmp/vantix-pgbench-XXXXXX)
as=""
if [ "$(id -u)" = 0 ]; then chown nobody:nogroup "$dir"; as="setpriv --reuid=nobody --regid=nogroup --clear-groups --"; fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cleanup() { $as "$bin/pg_ctl" -D "$dir/data" -w -m fast stop >/dev/null 2>&1 || true; rm -rf "$dir"; }
trap cleanup EXIT
$as "$bin/initdb" -D "$dir/data" -U bench --auth=trust -E UTF8 --locale=C --no-sync >/dev/null
$as "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w -o "-k $dir -p $port -c listen_addresses= -c fsync=off -c shared_buffers=256MB" start >/dev/null
psql() { command psql -X -q -h "$dir" -p "$port" -U bench "$@"; }
psql -d postgres -c "CREATE DATABASE optuna"
echo "filling $trials trials (3 parameters, 1 value, noisy values)..."
psql -d optuna <<SQL
CREATE TYPE trialstate AS ENUM ('RUNNING','COMPLETE','PRUNED','FAIL','WAITING');
CREATE TABLE studies (study_id SERIAL PRIMARY KEY, study_name VARCHAR(512) NOT NULL);
CREATE TABLE study_directions (study_direction_id SERIAL PRIMARY KEY, direction VARCHAR(8) NOT NULL, study_id INTEGER NOT NULL, objective INTEGER NOT NULL);
CREATE TABLE trials (trial_id SERIAL PRIMARY KEY, number INTEGER, study_id INTEGER, state trialstate NOT NULL, datetime_start TIMESTAMP, datetime_complete TIMESTAMP);
CREATE TABLE trial_params (param_id SERIAL PRIMARY KEY, trial_id INTEGER, param_name VARCHAR(512), param_value DOUBLE PRECISION, distribution_json TEXT);
CREATE TABLE trial_values (trial_value_id SERIAL PRIMARY KEY, trial_id INTEGER NOT NULL, objective INTEGER NOT NULL, value DOUBLE PRECISION, value_type VARCHAR(7) NOT NULL);
CREATE INDEX ix_trials_study_id ON trials (study_id);
CREATE INDEX ix_trial_params_trial_id ON trial_params (trial_id);
CREATE INDEX ix_trial_values_trial_id ON trial_values (trial_id);
INSERT INTO studies (study_name) VALUES ('big');
INSERT INTO study_directions (direction, study_id, objective) VALUES ('MINIMIZE', 1, 0);
INSERT INTO trials (number, study_id, state) SELECT n, 1, 'COMPLETE' FROM generate_series(0, $trials - 1) n;
INSERT INTO trial_params (trial_id, param_name, param_value, distribution_json)
  SELECT t, p, CASE p WHEN 'x' THEN round((t % 1000) / 10.0) ELSE random() END,
         '{"name": "FloatDistribution", "attributes": {"low": 0, "high": 100, "log": false}}'
  FROM generate_series(1, $trials) t, (VALUES ('x'), ('y'), ('z')) AS names(p);
INSERT INTO trial_values (trial_id, objective, value, value_type)
  SELECT t, 0, sin(t) + random() * 0.001, 'FINITE' FROM generate_series(1, $trials) t;
VACUUM ANALYZE;
SQL
url="postgresql://bench@/optuna?host=$dir&port=$port"
# The rows the reader asks for, copied by the server's own client.
copy() {
    psql -d optuna -c "\\copy (SELECT trial_id, study_id, number, state FROM trials WHERE trial_id >= 0 ORDER BY trial_id) TO '/dev/null'" \
         -c "\\copy (SELECT v.trial_id, v.objective, v.value FROM trial_values v JOIN trials t ON t.trial_id = v.trial_id WHERE t.study_id = 1 AND t.trial_id >= 0 AND t.state = 'COMPLETE') TO '/dev/null'" \
         -c "\\copy (SELECT p.trial_id, p.param_name, p.param_value, p.distribution_json FROM trial_params p JOIN trials t ON t.trial_id = p.trial_id WHERE t.study_id = 1 AND t.trial_id >= 0 AND t.state = 'COMPLETE' ORDER BY t.number, t.trial_id, p.param_id) TO '/dev/null'"
}
now() { date +%s.%N; }
a=""; b=""; m=""
for i in $(seq "$rounds"); do
    t0=$(now); copy; t1=$(now)
    /usr/bin/time -f "%M" -o "$dir/mem" "$convert" "$url" "$dir/out.ors" >/dev/null
    t2=$(now)
    b="$b $(echo "$t1 - $t0" | bc)"; a="$a $(echo "$t2 - $t1" | bc)"; m="$m $(cat "$dir/mem")"
done
median() { echo "$@" | tr ' ' '\n' | grep . | sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
ma=$(median $a); mb=$(median $b); mm=$(median $m)
echo "trials: $trials, rounds: $rounds (alternated)"
printf "psql \\copy of the same rows: median %s s  (runs:%s)\n" "$mb" "$b"
echo "vantix-convert from the URL:  median $ma s  (runs:$a)"
echo "ratio vantix/psql: $(echo "scale=2; $ma / $mb" | bc)"
echo "vantix-convert peak memory: median $((mm / 1024)) MiB"
# The same study above the memory budget: asked, not read.
if [ -x "$build/bin/slice_bench" ]; then "$build/bin/slice_bench" "$url"; fi
