# Cost per setting of loading a configuration file, ours beside inih.
# usage: gnuplot -e "data='loading.dat'; out='loading.svg'" loading.gp
set terminal svg size 640,400 font "sans,12" background "white"
set output out
set title "Configuration loading: cost per setting"
set xlabel "settings in the file"
set ylabel "ns per setting"
set logscale x
set xtics ("100" 100, "1,000" 1000, "10,000" 10000, "100,000" 100000)
set yrange [0:*]
set xrange [70:140000]
set key top left Left reverse
# Room above the lines for the key.
set offsets 0, 0, graph 0.4, 0
set grid ytics
plot data using 1:2 with linespoints lw 2 pt 7 title "ours: load through the API", \
     data using 1:4 with linespoints lw 2 pt 5 title "inih: parse and keep in a map", \
     data using 1:3 with linespoints lw 2 pt 9 title "inih: parse only"
