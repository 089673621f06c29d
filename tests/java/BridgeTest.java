import static org.junit.jupiter.api.Assertions.*;

import com.brantexa.zoral.vaxo.QelException;
import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;
import java.nio.file.*;
import java.util.*;
import java.util.concurrent.*;
import org.junit.jupiter.api.*;

/** The bridge in a real JVM, one per test; the kernel double answers QueryRCS from SCRATCH. */
class BridgeTest {
    static final String DIR = System.getProperty("test.dir") + "/";
    static final String FIXED = System.getProperty("java.library.path") + "/libzoralukv.so: ";
    static final Path SCRATCH = Paths.get(System.getenv("QELS_DOUBLE_DIR"));
    static final Path CALLS = SCRATCH.resolve("calls." + ProcessHandle.current().pid());

    static String init(Object qelsExe) throws Exception {
        Files.createDirectories(SCRATCH);
        if (qelsExe != null)
            Files.writeString(SCRATCH.resolve("QELS_EXE"), qelsExe.toString());
        ZORALlocal.ukvInit();
        return ZORALlocal.ukvCall("<whoami/>");
    }

    /** Calls before ukvInit fail; with QELS_EXE unset, threads racing to it load the bare ukv.so once. */
    @Test
    void bareNamesFirst() throws Exception {
        assertEquals("QelXmlApi function from ZORALukv shared library not loaded.",
            assertThrows(QelException.class, () -> ZORALlocal.ukvCall("<ping/>")).getMessage());
        assertThrows(NullPointerException.class, () -> ZORALlocal.ukvCall(null));
        assertEquals("\uD83D\uDE00 kernel \uD83D\uDE00", ZORALlocal.kernelVersion());
        CyclicBarrier start = new CyclicBarrier(8);
        Callable<String> first = () -> { start.await(); return init(null); };
        for (Future<String> f : Executors.newFixedThreadPool(8).invokeAll(Collections.nCopies(8, first)))
            assertEquals(DIR + "bare-both/ukv.so", f.get());
        assertEquals(List.of("QELS_EXE 7"), Files.readAllLines(CALLS));
    }

    /** Failures leave the bridge uninitialised; a QELS_EXE too long is as if unset; ukv.so comes first. */
    @Test
    void directoryOrder() throws Exception {
        String[][] failures = {{"empty", FIXED}, {"x".repeat(800), FIXED}, {DIR + "dir-neither", "symbol: QelXmlApi"},
            {DIR + "dir-noapi", "symbol: QelXmlApi"}, {DIR + "dir-norelease", "symbol: QelXmlRelease"}};
        for (String[] c : failures) {
            String text = assertThrows(QelException.class, () -> init(c[0])).getMessage();
            assertTrue(text.startsWith(c[1]) || text.endsWith(c[1]), c[1] + " in " + text);
        }
        Path dir = Files.createDirectories(SCRATCH.resolve(ProcessHandle.current().pid() + "/" + "d".repeat(200) + "/" + "e".repeat(99)));
        for (String name : new String[] {"zoralukv.so", "ukv.so"})
            Files.createSymbolicLink(dir.resolve(name), Paths.get(DIR, "bare-both", name));
        assertEquals(dir + "//ukv.so", init(dir + "/"));
        assertEquals(failures.length + 1, Files.readAllLines(CALLS).size());
    }

    /** Through the real XML API stand-in; answers of any bytes read as Java's own decoder reads them. */
    @Test
    void roundTrip() throws Exception {
        init(DIR + "dir-real");
        String large = "<echo>Grüße – 日本語 – \uD83D\uDE00 – a\u0000b" + "é0123456789".repeat(1 << 17) + "</echo>";
        assertEquals(large, ZORALlocal.ukvCall(large));
        byte[] alphabet = "a\u0080\u0090\u009F\u00A0\u00BF\u00C1\u00C2\u00DF\u00E0\u00E2\u00EF\u00F0\u00F4\u00F5\u00FF"
            .getBytes("ISO-8859-1"); // not C0 or ED, whose sequences the virtual machine reads its own way
        Random random = new Random(1);
        for (int round = 0; round < 2000; round++) {
            byte[] raw = new byte[random.nextInt(12)];
            for (int i = 0; i < raw.length; i++)
                raw[i] = alphabet[random.nextInt(alphabet.length)];
            Files.write(SCRATCH.resolve("RAW"), raw);
            assertEquals("<config name=\"RAW\">" + new String(raw, "UTF-8") + "</config>",
                ZORALlocal.ukvCall("<config name=\"RAW\"/>"), Arrays.toString(raw));
        }
    }
}
