import com.brantexa.zoral.vaxo.QelException;
import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Stream;

/**
 * One scenario per JVM, since the bridge's state lives as long as the process. The kernel
 * double reads QELS_EXE and its version from files in the scenario's scratch directory and
 * logs each QueryRCS call there.
 */
public final class BridgeTest {
    static final String NO_API = "QelXmlApi function from ZORALukv shared library not loaded.";
    static final String NO_RELEASE =
            "QelXmlRelease function from ZORALukv shared library not loaded.";

    static final Path DIR = Paths.get(System.getProperty("test.dir"));
    static final Path HOME = Paths.get(System.getProperty("test.home"));
    static final Path SCRATCH = Paths.get(System.getenv("QELS_DOUBLE_DIR"));
    static int failures = 0;

    static native void throwVia(String cls, String message, boolean pending) throws Exception;

    public static void main(String[] args) throws Exception {
        resetScratch();
        switch (args[0]) {
            case "bare_names_first": bareNamesFirst(); break;
            case "bare_names_second": bareNamesSecond(); break;
            case "fixed_path": fixedPath(); break;
            case "directory_order": directoryOrder(); break;
            case "directory_first": directoryFirst(); break;
            case "call_before_init": callBeforeInit(); break;
            case "kernel_version": kernelVersion(); break;
            case "throw_java_exception": throwJavaException(); break;
            case "round_trip": roundTrip(); break;
            default: throw new IllegalArgumentException("unknown scenario " + args[0]);
        }
        if (failures > 0) {
            System.err.println(failures + " check(s) failed");
            System.exit(1);
        }
        System.out.println("ok");
    }

    // --- checks -------------------------------------------------------------------------------

    static void check(boolean ok, String what) {
        if (!ok) {
            failures++;
            System.err.println("FAILED: " + what);
        }
    }

    static void checkEquals(Object expected, Object actual, String what) {
        check(expected == null ? actual == null : expected.equals(actual),
                what + ": expected <" + abbreviate(expected) + "> but was <" + abbreviate(actual)
                        + ">");
    }

    static String abbreviate(Object o) {
        String s = String.valueOf(o);
        return s.length() > 300 ? s.substring(0, 300) + "...(" + s.length() + " chars)" : s;
    }

    interface Action {
        void run() throws Exception;
    }

    /**
     * Runs the action and returns what it threw, having checked its class and, unless null,
     * its message; a check fails when it threw nothing.
     */
    static Throwable checkThrows(Class<?> type, String message, Action action, String what) {
        try {
            action.run();
        } catch (Throwable t) {
            checkEquals(type, t.getClass(), what + " (class)");
            if (message != null) {
                checkEquals(message, t.getMessage(), what + " (message)");
            }
            return t;
        }
        check(false, what + ": nothing was thrown");
        return new Throwable("<nothing>");
    }

    // --- the kernel double --------------------------------------------------------------------

    static void resetScratch() throws IOException {
        if (Files.exists(SCRATCH)) {
            try (Stream<Path> walk = Files.walk(SCRATCH)) {
                for (Path p : (Iterable<Path>) walk.sorted(Comparator.reverseOrder())::iterator) {
                    Files.delete(p);
                }
            }
        }
        Files.createDirectories(SCRATCH);
    }

    static void setQelsExe(String value) throws IOException {
        Path file = SCRATCH.resolve("QELS_EXE");
        if (value == null) {
            Files.deleteIfExists(file);
        } else {
            Files.write(file, value.getBytes(StandardCharsets.UTF_8));
        }
    }

    static void setVersion(String versionLine) throws IOException {
        Files.write(SCRATCH.resolve("version"), versionLine.getBytes(StandardCharsets.UTF_8));
    }

    static int queryCount() throws IOException {
        Path calls = SCRATCH.resolve("calls");
        if (!Files.exists(calls)) {
            return 0;
        }
        List<String> lines = Files.readAllLines(calls);
        for (String line : lines) {
            checkEquals("QELS_EXE 7", line, "QueryRCS call");
        }
        return lines.size();
    }

    static String whoami() throws QelException {
        return ZORALlocal.ukvCall("<whoami/>");
    }

    /** Starts ukvInit on that many threads at once; returns how many of them failed. */
    static int initFromThreads(int count) throws InterruptedException {
        CyclicBarrier start = new CyclicBarrier(count);
        AtomicInteger failed = new AtomicInteger();
        List<Thread> threads = new ArrayList<>();
        for (int n = 0; n < count; n++) {
            threads.add(new Thread(() -> {
                try {
                    start.await();
                    ZORALlocal.ukvInit();
                    whoami();
                } catch (Exception e) {
                    failed.incrementAndGet();
                }
            }));
        }
        threads.forEach(Thread::start);
        for (Thread thread : threads) {
            thread.join();
        }
        return failed.get();
    }

    // --- scenarios ----------------------------------------------------------------------------

    /**
     * QELS_EXE unset: the bare ukv.so wins over zoralukv.so; threads racing to the first init
     * load it once, and a second init asks nothing.
     */
    static void bareNamesFirst() throws Exception {
        Files.write(SCRATCH.resolve("delay"), "50".getBytes(StandardCharsets.UTF_8));
        checkEquals(0, initFromThreads(8), "threads whose first ukvInit failed");
        checkEquals(DIR.resolve("bare-both/ukv.so").toString(), whoami(), "library loaded");
        checkEquals(1, queryCount(), "QueryRCS calls after the first ukvInit");
        ZORALlocal.ukvInit();
        checkEquals(1, queryCount(), "QueryRCS calls after a second ukvInit");
        checkEquals("", ZORALlocal.ukvCall("<null/>"), "answer left NULL");
    }

    /** QELS_EXE empty: the bare zoralukv.so is the second name tried. */
    static void bareNamesSecond() throws Exception {
        setQelsExe("");
        ZORALlocal.ukvInit();
        checkEquals(DIR.resolve("bare-second/zoralukv.so").toString(), whoami(), "library loaded");
    }

    /** Neither bare name found: the installation's fixed path is the last resort. */
    static void fixedPath() throws Exception {
        ZORALlocal.ukvInit();
        checkEquals(HOME.resolve("sys/lib/libzoralukv.so").toString(), whoami(), "library loaded");
    }

    /** Failures leave the bridge uninitialised, so each later ukvInit starts over. */
    static void directoryOrder() throws Exception {
        String fixed = HOME.resolve("sys/lib/libzoralukv.so").toString();
        Path empty = Files.createDirectories(SCRATCH.resolve("empty"));

        setQelsExe(empty.toString());
        Throwable t = checkThrows(QelException.class, null, ZORALlocal::ukvInit, "no library");
        check(t.getMessage().startsWith(fixed + ": "),
                "the loader's text names the fixed path: " + t.getMessage());
        checkEquals(1, queryCount(), "QueryRCS calls");

        setQelsExe("x".repeat(800)); // too long for the prefix: treated as absent
        t = checkThrows(QelException.class, null, ZORALlocal::ukvInit, "overlong QELS_EXE");
        check(t.getMessage().startsWith(fixed + ": "), "overlong value retries: " + t.getMessage());
        checkEquals(2, queryCount(), "QueryRCS calls");

        // The exception names the first symbol that is missing.
        String[][] missing = {{"dir-neither", "QelXmlApi"}, {"dir-noapi", "QelXmlApi"},
                {"dir-norelease", "QelXmlRelease"}};
        for (String[] m : missing) {
            setQelsExe(DIR.resolve(m[0]).toString());
            t = checkThrows(QelException.class, null, ZORALlocal::ukvInit, m[0]);
            check(t.getMessage().endsWith("undefined symbol: " + m[1]),
                    m[0] + ", " + m[1] + " named: " + t.getMessage());
        }
        checkThrows(QelException.class, NO_RELEASE, () -> ZORALlocal.ukvCall("<ping/>"),
                "QelXmlApi resolved, QelXmlRelease not");

        setQelsExe(DIR.resolve("dir-second") + "/");
        ZORALlocal.ukvInit();
        checkEquals(6, queryCount(), "QueryRCS calls: each failure retried from the start");
        checkEquals(DIR.resolve("dir-second") + "//zoralukv.so", whoami(),
                "a trailing slash is doubled");
    }

    /**
     * In a QELS_EXE directory ukv.so is tried before zoralukv.so, also where the directory's
     * name makes the path longer than 255 characters.
     */
    static void directoryFirst() throws Exception {
        Path dir = SCRATCH.resolve("d".repeat(200)).resolve("e".repeat(99));
        Files.createDirectories(dir);
        for (String name : new String[] {"ukv.so", "zoralukv.so"}) {
            Files.createSymbolicLink(dir.resolve(name), DIR.resolve("dir-both").resolve(name));
        }
        setQelsExe(dir.toString());
        ZORALlocal.ukvInit();
        checkEquals(dir.resolve("ukv.so").toString(), whoami(), "library loaded");
    }

    static void callBeforeInit() throws Exception {
        checkThrows(QelException.class, NO_API, () -> ZORALlocal.ukvCall("<ping/>"),
                "ukvCall before ukvInit");
        checkThrows(NullPointerException.class, null, () -> ZORALlocal.ukvCall(null),
                "null request");
    }

    static void checkVersion(String versionLine, String expected, String what) throws IOException {
        if (versionLine != null) {
            setVersion(versionLine);
        }
        checkEquals(expected, ZORALlocal.kernelVersion(), what);
    }

    static void kernelVersion() throws Exception {
        String full = "v".repeat(300);
        checkVersion(null, "", "kernel fails without writing");
        checkVersion("1 5 abcdefgh", "abcde", "cut at the reported length");
        checkVersion("3 7 vaxo 1.0.0", "vaxo 1.", "any odd status is success");
        checkVersion("0 0 ", "", "even status, nothing written");
        checkVersion("2 1 abc", "abc", "even status keeps what was written");
        checkVersion("1 300 " + full, full.substring(0, 255), "length past capacity");
        checkVersion("1 -4 abc", "", "negative length");
        checkVersion("0 255 " + full, full.substring(0, 255), "failure, buffer full");
    }

    static void throwJavaException() throws Exception {
        System.loadLibrary("bridgeprobe");
        checkThrows(Exception.class, "no class", () -> throwVia(null, "no class", false),
                "null class name");
        checkThrows(Exception.class, "empty class", () -> throwVia("", "empty class", false),
                "empty class name");
        checkThrows(QelException.class, "q",
                () -> throwVia("com/brantexa/zoral/vaxo/QelException", "q", false), "QelException");
        checkThrows(IllegalArgumentException.class, "after",
                () -> throwVia("java/lang/IllegalArgumentException", "after", true),
                "pending exception replaced");
        checkThrows(NoClassDefFoundError.class, null,
                () -> throwVia("no/such/Class", "lost", false), "unknown class");
        Throwable t = checkThrows(NoClassDefFoundError.class, null,
                () -> throwVia("no/such/" + "C".repeat(400), "lost", false), "overlong class name");
        check(t.getMessage().length() <= 255, "class name cut to 255: " + t.getMessage().length());
    }

    static void roundTrip() throws Exception {
        setQelsExe(DIR.resolve("dir-real").toString());
        ZORALlocal.ukvInit();
        checkEquals("<pong/>", ZORALlocal.ukvCall("<ping/>"), "ping");
        check(ZORALlocal.ukvCall("<version/>").startsWith("<version>vaxolocal "), "version");
        checkEquals("<error code=\"3\">unknown request</error>", ZORALlocal.ukvCall("<status/>"),
                "unknown request");
        checkEquals("<error code=\"2\">malformed request</error>", ZORALlocal.ukvCall("hello"),
                "malformed request");
        checkEquals("<error code=\"1\">empty request</error>", ZORALlocal.ukvCall(""), "empty");

        String unicode = "<echo>Grüße – 日本語 – \uD83D\uDE00 – a\u0000b</echo>";
        checkEquals(unicode, ZORALlocal.ukvCall(unicode), "non-ASCII and NUL round trip");
        byte[] smile = "smile \uD83D\uDE00 ok".getBytes(StandardCharsets.UTF_8);
        Files.write(SCRATCH.resolve("SMILE"), smile);
        checkEquals("<config name=\"SMILE\">smile \uD83D\uDE00 ok</config>",
                ZORALlocal.ukvCall("<config name=\"SMILE\"/>"), "4-byte UTF-8 in an answer");
        StringBuilder big = new StringBuilder("<echo>");
        while (big.length() < 1 << 20) {
            big.append("é0123456789");
        }
        String large = big.append("</echo>").toString();
        checkEquals(large, ZORALlocal.ukvCall(large), "1 MB round trip");

        checkThrows(NullPointerException.class, null, () -> ZORALlocal.ukvCall(null),
                "null request");

        AtomicInteger wrong = new AtomicInteger();
        List<Thread> threads = new ArrayList<>();
        for (int n = 0; n < 8; n++) {
            final int id = n;
            threads.add(new Thread(() -> {
                try {
                    for (int i = 0; i < 5000; i++) {
                        String request = "<echo>thread " + id + " call " + i + "</echo>";
                        if (!request.equals(ZORALlocal.ukvCall(request))) {
                            wrong.incrementAndGet();
                        }
                    }
                } catch (QelException e) {
                    wrong.incrementAndGet();
                }
            }));
        }
        threads.forEach(Thread::start);
        for (Thread thread : threads) {
            thread.join();
        }
        checkEquals(0, wrong.get(), "answers crossed between threads");
    }
}
