# The chart of results.md: MiB/s of each program in each case, on a log
# scale, with each case's own floor drawn across its group (the floor reads
# as that case reads, and writes as much as scandec where it writes to a
# file).  The data (made by report.awk) has a header line, then a case a line: its label, then MiB/s
# of each program, the floor last.
#   gnuplot -e "data='FILE'" chart.gp > results.svg
set terminal svg size 1100,520 dynamic font "sans,13" background rgb "white"
set encoding utf8
set title "MiB/s of each program in each case (log scale; higher is faster)"
set logscale y
set format y "%.0f"
set yrange [10:*]
set ylabel "MiB/s"
set grid ytics mytics lc rgb "#dddddd"
set key outside top center horizontal noenhanced autotitle columnheader
set xtics nomirror scale 0 noenhanced
set ytics nomirror
set border 3
set style fill solid 0.9 border -1

ncol = int(system("head -1 " . data . " | wc -w"))
nprog = ncol - 2 # the bars; the floor is a line
ncase = int(system("tail -n +2 " . data . " | wc -l"))
w = 0.8 / nprog
set boxwidth w
set xrange [-0.6:ncase - 0.4]
colour(i) = word("#1f77b4 #ff7f0e #2ca02c #d62728 #9467bd #8c564b #e377c2", i)

plot data using 0:(NaN):xtic(1) notitle, \
     for [i=1:nprog] data using ($0 + (i - (nprog + 1) / 2.0) * w):(column(i+1)) \
       with boxes lc rgb colour(i) title columnheader(i+1), \
     data using ($0 - 0.43):ncol:(0.86):(0) with vectors nohead lw 3 dt 2 \
       lc rgb "black" title "the case's floor"
