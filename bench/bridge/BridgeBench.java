import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;

import java.util.Arrays;

/**
 * Time per call of ZORALlocal.ukvCall against bareEcho, a JNI method of this benchmark that
 * converts its argument with GetStringUTFChars and returns NewStringUTF of it, in one JVM.
 *
 * <p>Usage: {@code BridgeBench echo|standin [repetitions]}. "echo" expects the loaded XML API
 * library to answer with the request itself; "standin" expects the project's stand-in, and
 * wraps every request in {@code <echo>...</echo>}. Requests are ASCII text of 100 bytes and
 * 1 MiB, wrapper included, and both methods get the very same string.
 *
 * <p>After warm-up, each repetition times both methods one after the other, the order
 * alternating between repetitions. Calls are timed in chunks whose answers are kept and then
 * compared with the request outside the clock; any answer that differs ends the program with
 * status 2. The figure per method is the median of the repetitions' ns per call, and the ratio
 * is the median of the repetitions' ratios, each taken between two adjacent timings, so that
 * slow drifts of the machine cancel; the best repetitions and their ratio are shown beside.
 */
public final class BridgeBench {
    static {
        System.loadLibrary("bridgebench");
    }

    static native String bareEcho(String request);

    static final double GOAL = 1.10;

    /** One request size: how many calls make a chunk and how many chunks a repetition. */
    static final class Size {
        final String name;
        final int bytes;
        final int chunk;
        final int chunks;

        Size(String name, int bytes, int chunk, int chunks) {
            this.name = name;
            this.bytes = bytes;
            this.chunk = chunk;
            this.chunks = chunks;
        }
    }

    static final Size[] SIZES = {
        new Size("100 B", 100, 10_000, 2), new Size("1 MiB", 1 << 20, 8, 1),
    };
    static final int WARM_UP_REPETITIONS = 30;

    public static void main(String[] args) throws Exception {
        int repetitions = args.length > 1 && args[1].matches("[0-9]{1,6}")
                ? Integer.parseInt(args[1]) : args.length > 1 ? 0 : 101;
        if (args.length < 1 || !(args[0].equals("echo") || args[0].equals("standin"))
                || repetitions < 1) {
            System.err.println("usage: BridgeBench echo|standin [repetitions, at least 1]");
            System.exit(64);
        }
        boolean standin = args[0].equals("standin");

        ZORALlocal.ukvInit();
        // Make sure the XML API library in play is the one the figures will be labelled with.
        String ping = ZORALlocal.ukvCall("<ping/>");
        String expected = standin ? "<pong/>" : "<ping/>";
        if (!ping.equals(expected)) {
            System.err.println("unexpected XML API library: <ping/> answered " + ping);
            System.exit(2);
        }

        System.out.printf("XML API library: %s; %d repetitions after %d of warm-up%n",
                standin ? "the project's stand-in, <echo> requests"
                        : "the benchmark's echo (answer = request)",
                repetitions, WARM_UP_REPETITIONS);
        System.out.printf("%-6s %12s %12s %7s    %12s %12s %7s%n", "size", "bare ns", "ukvCall ns",
                "ratio", "best bare", "best ukvCall", "ratio");
        boolean met = true;
        for (Size size : SIZES) {
            String request = request(size.bytes, standin);
            measure(size, request, WARM_UP_REPETITIONS);
            double[][] r = measure(size, request, repetitions);
            double[] ratios = new double[repetitions];
            for (int rep = 0; rep < repetitions; rep++) {
                ratios[rep] = r[1][rep] / r[0][rep];
            }
            double ratio = median(ratios);
            double bestBare = min(r[0]), bestBridge = min(r[1]);
            met &= ratio <= GOAL;
            System.out.printf("%-6s %12.1f %12.1f %7.3f    %12.1f %12.1f %7.3f%n", size.name,
                    median(r[0]), median(r[1]), ratio, bestBare, bestBridge,
                    bestBridge / bestBare);
        }
        System.out.println("ns per call: median of the repetitions, then the best; ratio: ukvCall"
                + " over bare, median of the repetitions' ratios, then of the best times");
        if (standin) {
            System.out.println("for information: ukvCall includes the stand-in's own work per"
                    + " request");
        } else {
            System.out.printf("goal, ukvCall within %.2f times the bare method (median ratio):"
                    + " %s%n", GOAL, met ? "met" : "NOT met");
        }
    }

    /** ns per call of each repetition, bare method in [0], ukvCall in [1]. */
    static double[][] measure(Size size, String request, int repetitions) throws Exception {
        double[][] nsPerCall = new double[2][repetitions];
        String[] answers = new String[size.chunk];
        long calls = (long) size.chunk * size.chunks;
        for (int rep = 0; rep < repetitions; rep++) {
            for (int k = 0; k < 2; k++) {
                int method = (rep + k) % 2;
                long elapsed = 0;
                for (int c = 0; c < size.chunks; c++) {
                    elapsed += method == 0 ? timeBare(request, answers)
                                           : timeBridge(request, answers);
                    verify(request, answers, method == 0 ? "bareEcho" : "ukvCall");
                }
                nsPerCall[method][rep] = (double) elapsed / calls;
            }
        }
        return nsPerCall;
    }

    static long timeBare(String request, String[] answers) {
        long start = System.nanoTime();
        for (int i = 0; i < answers.length; i++) {
            answers[i] = bareEcho(request);
        }
        return System.nanoTime() - start;
    }

    static long timeBridge(String request, String[] answers) throws Exception {
        long start = System.nanoTime();
        for (int i = 0; i < answers.length; i++) {
            answers[i] = ZORALlocal.ukvCall(request);
        }
        return System.nanoTime() - start;
    }

    static void verify(String request, String[] answers, String method) {
        for (int i = 0; i < answers.length; i++) {
            if (!request.equals(answers[i])) {
                String answer = answers[i];
                System.err.printf("%s answered a %d-byte request wrongly: %s%n", method,
                        request.length(), answer == null ? "null"
                                : answer.length() + " chars starting "
                                        + answer.substring(0, Math.min(80, answer.length())));
                System.exit(2);
            }
            answers[i] = null;
        }
    }

    /** bytes of printable ASCII without XML markup characters, non-blank at both ends. */
    static String request(int bytes, boolean wrap) {
        String open = wrap ? "<echo>" : "", close = wrap ? "</echo>" : "";
        String alphabet = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789.,;:!?-";
        StringBuilder text = new StringBuilder(bytes).append(open);
        long seed = 0x2545F4914F6CDD1DL;
        while (text.length() < bytes - close.length()) {
            seed = seed * 6364136223846793005L + 1442695040888963407L;
            text.append(alphabet.charAt((int) ((seed >>> 33) % alphabet.length())));
        }
        text.setCharAt(open.length(), 'x');
        text.setCharAt(text.length() - 1, 'x');
        return text.append(close).toString();
    }

    static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        int n = sorted.length;
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

    static double min(double[] values) {
        return Arrays.stream(values).min().getAsDouble();
    }
}
