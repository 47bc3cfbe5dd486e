#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the archive's pg tests: initdb and
# pg_ctl from Debian's postgresql package, as an unprivileged user when run
# as root, listening only on a unix socket in a temporary folder.
#   scripts/pg-cluster.sh start   prints the environment lines for the tests
#                                 (ZDX_TEST_PG_HOST, _PORT, _USER, _CTL)
#   ZDX_TEST_PG_CTL stop|start    stops or starts that cluster again
#   scripts/pg-cluster.sh remove FOLDER   stops it and removes its folder
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "pg-cluster: no PostgreSQL server installed" >&2
    exit 1
fi

case "${1:-}" in
start)
    folder=$(mktemp -d /tmp/zdx-pg.XXXXXX)
    chmod 755 "$folder"
    mkdir "$folder/data" "$folder/socket"
    as=()
    if [ "$(id -u)" -eq 0 ]; then
        # The server refuses to run as root.
        chown nobody:nogroup "$folder/data" "$folder/socket"
        as=(runuser -u nobody --)
    fi
    port=54329
    "${as[@]}" "$bin/initdb" -D "$folder/data" -U postgres -A trust --no-sync >"$folder/initdb.log" 2>&1
    cat >"$folder/ctl" <<CTL
#!/usr/bin/env bash
# Stops (fast: open sessions are ended) or starts the test cluster.
set -euo pipefail
case "\$1" in
stop) ${as[*]} "$bin/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null ;;
start) ${as[*]} "$bin/pg_ctl" -D "$folder/data" -l "$folder/socket/server.log" -w \\
    -o "-k $folder/socket -p $port -c listen_addresses='' -c fsync=off" start >/dev/null ;;
esac
CTL
    chmod 755 "$folder/ctl"
    "$folder/ctl" start
    echo "ZDX_TEST_PG_HOST=$folder/socket"
    echo "ZDX_TEST_PG_PORT=$port"
    echo "ZDX_TEST_PG_USER=postgres"
    echo "ZDX_TEST_PG_CTL=$folder/ctl"
    ;;
remove)
    folder=${2:?folder}
    "$folder/ctl" stop 2>/dev/null || true
    rm -rf "$folder"
    ;;
*)
    echo "usage: pg-cluster.sh start | remove FOLDER" >&2
    exit 2
    ;;
esac
