package acc;

import acc.lib.Texts;
import java.io.IOException;
import javax.servlet.annotation.WebServlet;
import javax.servlet.http.*;

/** Two servlets, found by their annotations, that use the application's own jar. */
public final class Servlets {
    private Servlets() {}

    @WebServlet("/hello")
    public static class Hello extends HttpServlet {
        @Override
        protected void doGet(HttpServletRequest q, HttpServletResponse a) throws IOException {
            a.getWriter().println(Texts.greet(q.getParameter("name")));
        }
    }

    // A status other than 200 is compared too.
    @WebServlet("/sum")
    public static class Sum extends HttpServlet {
        @Override
        protected void doGet(HttpServletRequest q, HttpServletResponse a) throws IOException {
            a.setStatus(HttpServletResponse.SC_ACCEPTED);
            a.getWriter().println(Texts.sum(q.getParameter("a"), q.getParameter("b")));
        }
    }
}
