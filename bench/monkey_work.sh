#!/bin/bash
# bench/monkey_work.sh BIN_DIR SECONDS [callgrind]: a headless virtual-clock monkey game (seed 3) of SECONDS program
# seconds, in a network namespace with a real credit server; prints user+sys CPU or callgrind's Ir.
set -e
bin=$(cd "$1" && pwd); secs=$2; mode=${3:-time}
d=$(mktemp -d); cd "$d"
"$bin/quibblo-assets" --out . >/dev/null
echo "$((secs*1000)) close" > close.touches
cat > run.sh <<EOS
set -e
"$bin/quibblo-credit" serve --db credit.db 2>/dev/null & s=\$!
for i in \$(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/6667) 2>/dev/null && break; sleep 0.1; done
"$bin/quibblo-credit" insert 5000 --create --db credit.db >/dev/null 2>&1 || "$bin/quibblo-credit" insert 5000 --db credit.db >/dev/null
if [ "$mode" = callgrind ]; then
  valgrind --tool=callgrind --callgrind-out-file=cg.out "$bin/quibblo" --headless --virtual-clock --monkey 3 --touches close.touches 2> cg.err || true
  grep -o "Collected : [0-9]*" cg.err
else
  /usr/bin/time -f "cpu %U user %S sys %M KiB" "$bin/quibblo" --headless --virtual-clock --monkey 3 --touches close.touches || true
fi
md5sum data/morvane.rec
kill \$s; wait \$s || true
EOS
unshare -n sh -c 'ip link set lo up && exec bash run.sh'
cd /; rm -rf "$d"
