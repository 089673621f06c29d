package com.brantexa.zoral.vaxo.demo;

import com.brantexa.zoral.vaxo.QelException;
import com.brantexa.zoral.vaxo.internal.local.ZORALlocal;

/** Drives the bridge end to end: version, initialisation and a few XML round trips. */
public final class Demo {
    private Demo() {}

    public static void main(String[] args) {
        System.out.println("kernelVersion() = " + ZORALlocal.kernelVersion());
        try {
            ZORALlocal.ukvInit();
            System.out.println("ukvInit() succeeded");
            String[] requests = args.length > 0 ? args
                    : new String[] {"<ping/>", "<version/>", "<echo>Grüße aus Java</echo>",
                                    "<config name=\"DEMO_GREETING\"/>",
                                    "<config name=\"NOT_CONFIGURED\"/>", "<status/>", "not xml"};
            for (String request : requests) {
                System.out.println("ukvCall(" + request + ") = " + ZORALlocal.ukvCall(request));
            }
        } catch (QelException e) {
            System.out.println("QelException: " + e.getMessage());
            System.exit(1);
        }
    }
}
